#include "cli/StatusRecord.h"

Record StatusRecord(const DriveStatusTexts &status) {
  return {{"address", QString::number(status.address), {}},
          {"frequency", QString::fromStdString(status.frequency), "Hz"},
          {"output_voltage", QString::fromStdString(status.outputVoltage), "V"},
          {"output_current", QString::fromStdString(status.outputCurrent), "A"},
          {"speed", QString::fromStdString(status.speed), "r/min"},
          {"dc_voltage", QString::fromStdString(status.dcVoltage), "V"},
          {"status_code", QString::number(status.statusCode), {}},
          {"state", QString::fromStdString(status.machineStatus), {}}};
}
