#include "drive/StatusDecoding.h"

#include <array>

namespace {
unsigned Register(const std::uint8_t *reply, int index) {
  const int at = 3 + 2 * index;
  return (static_cast<unsigned>(reply[at]) << 8) | reply[at + 1];
}
} // namespace

bool IsFaultCode(int code) { return code >= 3; }

std::string MachineStatusName(int code) {
  // "0L1" begins with a zero and "OL2" with the letter O: that is how the
  // drive's own display shows them.
  static const std::array<const char *, 26> names = {"Stop",
                                                     "Forward Start",
                                                     "Reverse Start",
                                                     "Unpredictable Fault",
                                                     "OC",
                                                     "OE",
                                                     "PF1",
                                                     "0L1",
                                                     "LU",
                                                     "OH",
                                                     "OL2",
                                                     "ERR",
                                                     "LL",
                                                     "ESP",
                                                     "ERR1",
                                                     "ERR2",
                                                     "ERR3",
                                                     "ERR4",
                                                     "OC1",
                                                     "PFO",
                                                     "AErr",
                                                     "EP3",
                                                     "EP",
                                                     "PP",
                                                     "nP",
                                                     "Err5"};
  if (code < 0 || code >= static_cast<int>(names.size()))
    return "Unpredictable Fault";
  return names[static_cast<std::size_t>(code)];
}

std::string HundredthsText(unsigned value, const std::string &separator) {
  const unsigned fraction = value % 100;
  return std::to_string(value / 100) + separator + static_cast<char>('0' + fraction / 10) +
         static_cast<char>('0' + fraction % 10);
}

long OutputSpeed(unsigned frequency, unsigned factorA, unsigned factorB) {
  const long divisor = static_cast<long>(factorA) * static_cast<long>(factorB);
  if (divisor == 0)
    return 0;
  return static_cast<long>(frequency) * 120 / divisor;
}

DriveStatusValues DecodeStatusValues(const std::uint8_t *reply) {
  DriveStatusValues values;
  values.address = reply[0];
  values.frequency = Register(reply, 0) / 100.0;
  values.outputVoltage = Register(reply, 1);
  values.outputCurrent = Register(reply, 2) / 100.0;
  values.speed = static_cast<double>(OutputSpeed(Register(reply, 0), reply[9], reply[13]));
  values.dcVoltage = Register(reply, 4);
  values.statusCode = reply[14];
  return values;
}

DriveStatusTexts DecodeStatusReply(const std::uint8_t *reply, const std::string &separator) {
  DriveStatusTexts texts;
  texts.address = reply[0];
  const unsigned frequency = Register(reply, 0);
  texts.frequency = HundredthsText(frequency, separator);
  texts.outputVoltage = std::to_string(Register(reply, 1));
  texts.outputCurrent = HundredthsText(Register(reply, 2), separator);
  texts.speed = std::to_string(OutputSpeed(frequency, reply[9], reply[13]));
  texts.dcVoltage = std::to_string(Register(reply, 4));
  texts.statusCode = reply[14];
  texts.machineStatus = MachineStatusName(texts.statusCode);
  return texts;
}
