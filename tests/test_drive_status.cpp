#include "app/Widgets.h"
#include "drive/ControlLamps.h"
#include "drive/StatusDecoding.h"

#include <QTest>
#include <array>

namespace {
// A status reply of drive `address` with the six registers r0..r5.
std::array<std::uint8_t, 17> StatusReply(int address, std::array<unsigned, 6> registers) {
  std::array<std::uint8_t, 17> reply{};
  reply[0] = static_cast<std::uint8_t>(address);
  reply[1] = 0x03;
  reply[2] = 12;
  for (int i = 0; i < 6; ++i) {
    reply[3 + 2 * i] = static_cast<std::uint8_t>(registers[i] >> 8);
    reply[4 + 2 * i] = static_cast<std::uint8_t>(registers[i] & 0xFF);
  }
  return reply;
}

unsigned HighLow(unsigned high, unsigned low) { return high << 8 | low; }
} // namespace

class TestDriveStatus : public QObject {
  Q_OBJECT
private slots:
  void scaledValues() {
    // r0 5000 (1388 hex), divisor factors 4 and 100: 50.00 Hz and 1500 r/min
    auto reply = StatusReply(7, {5000, 380, 1234, HighLow(4, 0x55), 537, HighLow(100, 1)});
    DriveStatusTexts status = DecodeStatusReply(reply.data(), ".");
    QCOMPARE(status.address, 7);
    QCOMPARE(status.frequency, std::string("50.00"));
    QCOMPARE(status.outputVoltage, std::string("380"));
    QCOMPARE(status.outputCurrent, std::string("12.34"));
    QCOMPARE(status.speed, std::string("1500"));
    QCOMPARE(status.dcVoltage, std::string("537"));
    QCOMPARE(status.statusCode, 1);
    QCOMPARE(status.machineStatus, std::string("Forward Start"));

    reply = StatusReply(1, {1, 0, 5, HighLow(4, 0), 0, HighLow(100, 0)});
    status = DecodeStatusReply(reply.data(), ".");
    QCOMPARE(status.frequency, std::string("0.01"));
    QCOMPARE(status.outputCurrent, std::string("0.05"));
    QCOMPARE(status.speed, std::string("0")); // 120 / 400 truncates

    // the largest register values stay exact
    reply = StatusReply(247, {65535, 65535, 65535, HighLow(1, 0), 65535, HighLow(1, 0)});
    status = DecodeStatusReply(reply.data(), ".");
    QCOMPARE(status.frequency, std::string("655.35"));
    QCOMPARE(status.speed, std::string("7864200"));
    QCOMPARE(status.outputVoltage, std::string("65535"));
  }

  void localeSeparator() {
    const auto reply = StatusReply(2, {2510, 0, 100, HighLow(4, 0), 0, HighLow(100, 0)});
    const DriveStatusTexts status = DecodeStatusReply(reply.data(), ",");
    QCOMPARE(status.frequency, std::string("25,10"));
    QCOMPARE(status.outputCurrent, std::string("1,00"));
    QCOMPARE(HundredthsText(0, ","), std::string("0,00"));
  }

  void zeroSpeedDivisor() {
    // a zero factor gives speed 0; the other values are decoded as usual
    for (const auto &factors : {std::pair{0u, 100u}, std::pair{4u, 0u}, std::pair{0u, 0u}}) {
      const auto reply =
          StatusReply(3, {5000, 220, 150, HighLow(factors.first, 0), 540, HighLow(factors.second, 8)});
      const DriveStatusTexts status = DecodeStatusReply(reply.data(), ".");
      QCOMPARE(status.speed, std::string("0"));
      QCOMPARE(status.frequency, std::string("50.00"));
      QCOMPARE(status.dcVoltage, std::string("540"));
      QCOMPARE(status.machineStatus, std::string("LU"));
    }
    QCOMPARE(OutputSpeed(5000, 4, 100), 1500L);
    QCOMPARE(OutputSpeed(5000, 0, 100), 0L);
  }

  void statusNames() {
    QCOMPARE(MachineStatusName(0), std::string("Stop"));
    QCOMPARE(MachineStatusName(2), std::string("Reverse Start"));
    QCOMPARE(MachineStatusName(3), std::string("Unpredictable Fault"));
    QCOMPARE(MachineStatusName(4), std::string("OC"));
    QCOMPARE(MachineStatusName(7), std::string("0L1"));  // digit zero
    QCOMPARE(MachineStatusName(10), std::string("OL2")); // letter O
    QCOMPARE(MachineStatusName(19), std::string("PFO"));
    QCOMPARE(MachineStatusName(24), std::string("nP"));
    QCOMPARE(MachineStatusName(25), std::string("Err5"));
    QCOMPARE(MachineStatusName(26), std::string("Unpredictable Fault"));
    // every named code, in the drive's order
    const char *const named[] = {"Stop",
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
    for (int code = 0; code < 26; ++code)
      QCOMPARE(MachineStatusName(code), std::string(named[code]));
    QCOMPARE(MachineStatusName(255), std::string("Unpredictable Fault"));
    // the code is the low byte of register 1005
    const auto reply = StatusReply(5, {0, 0, 0, 0, 0, HighLow(100, 7)});
    QCOMPARE(DecodeStatusReply(reply.data(), ".").machineStatus, std::string("0L1"));
  }

  // Every status reply of the drive in the address box redraws the lamps for
  // the last command.
  void lampsFollowTheLastCommand() {
    using namespace LampColor;
    QCOMPARE(LampsAfterCommand(FwdStart), (LampColors{Green, Off, Green, Off, Off, Off, Off}));
    QCOMPARE(LampsAfterCommand(RevStart), (LampColors{Green, Off, Off, Green, Off, Off, Off}));
    QCOMPARE(LampsAfterCommand(FwdJogPress), (LampColors{Green, Off, Green, Off, Green, Off, Off}));
    QCOMPARE(LampsAfterCommand(RevJogPress), (LampColors{Green, Off, Off, Green, Green, Off, Off}));
    QCOMPARE(LampsAfterCommand(Start), (LampColors{Green, Off, Off, Off, Off, Off, Off}));
    for (int stop : {DecStop, FreeStop, FwdJogRelease, RevJogRelease, Reset})
      QCOMPARE(LampsAfterCommand(stop), (LampColors{Off, Olive, Off, Off, Off, Off, Off}));
    for (int unchanged : {int(NoCommand), 7, 12})
      QCOMPARE(LampsAfterCommand(unchanged), std::nullopt);
    QCOMPARE(ControlCode(RevJogRelease), std::string("000B"));
  }
};

QTEST_GUILESS_MAIN(TestDriveStatus)
#include "test_drive_status.moc"
