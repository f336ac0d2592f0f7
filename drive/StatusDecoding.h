#pragma once

#include <cstdint>
#include <string>

// The drive's status block: six registers read from 1000, decoded into the
// texts of the "Motor Status" values and the motor status table.
struct DriveStatusTexts {
  int address = 0;       // the replying drive
  std::string frequency; // Hz, two decimals
  std::string outputVoltage;
  std::string outputCurrent; // A, two decimals
  std::string speed;         // r/min
  std::string dcVoltage;
  int statusCode = 0;
  std::string machineStatus; // running state or fault name
};

// The same block as numbers, for plotting: frequency in Hz, current in A,
// voltages in V, speed in r/min.
struct DriveStatusValues {
  int address = 0;
  double frequency = 0;
  double outputVoltage = 0;
  double outputCurrent = 0;
  double speed = 0;
  double dcVoltage = 0;
  int statusCode = 0;
};

// The reply holds at least this many bytes: address, function, byte count
// and the twelve bytes of the six registers.
constexpr std::size_t StatusReplyLength = 15;
constexpr std::uint8_t StatusBlockByteCount = 12;

// The running state or fault name of a status code (the low byte of register
// 1005). Codes without a name give "Unpredictable Fault".
std::string MachineStatusName(int code);

// Stop, Forward Start and Reverse Start are running states; every other code
// (3 and up) means the drive has tripped.
bool IsFaultCode(int code);

// A value in hundredths as a text with exactly two decimals, written with the
// given decimal separator: 5000 gives "50.00", 1 gives "0.01".
std::string HundredthsText(unsigned value, const std::string &separator);

// Output speed in r/min: frequency (0.01 Hz) x 120 over the two divisor
// factors. A zero divisor (a drive that has not reported its pole data)
// gives 0 rather than failing the whole reply.
long OutputSpeed(unsigned frequency, unsigned factorA, unsigned factorB);

// Decodes a status reply laid out as address, function, byte count, then the
// registers high byte first; reply must hold StatusReplyLength bytes.
DriveStatusValues DecodeStatusValues(const std::uint8_t *reply);
DriveStatusTexts DecodeStatusReply(const std::uint8_t *reply, const std::string &separator);
