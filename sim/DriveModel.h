#pragma once

#include "sim/ParameterImage.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// One simulated drive at one Modbus address: its function parameters, its
// control register 2000 and its six status registers at 1000, with an output
// frequency that ramps like a real drive's.
//
// Ramps: the acceleration time F114 and deceleration time F115 (F125 / F126
// while jogging) are the time for a change of the maximum frequency F111,
// as on most drives; so with F111 50 Hz and F114 10 s the output reaches a set
// frequency of 25 Hz after 5 s. If F111 is 0 or missing, 50 Hz stands in. A
// time of 0 changes the output at once.
//
// Time is given by the caller in milliseconds of any steady clock; nothing in
// here reads a clock or sleeps.
class DriveModel {
public:
  // Registers of the values that drive the output.
  static constexpr std::uint16_t MaxFrequencyRegister = 0x010B;    // F111, 0.01 Hz
  static constexpr std::uint16_t SetFrequencyRegister = 0x010D;    // F113, 0.01 Hz
  static constexpr std::uint16_t AccelerationRegister = 0x010E;    // F114, 0.1 s
  static constexpr std::uint16_t DecelerationRegister = 0x010F;    // F115, 0.1 s
  static constexpr std::uint16_t JogFrequencyRegister = 0x0118;    // F124, 0.01 Hz
  static constexpr std::uint16_t JogAccelerationRegister = 0x0119; // F125, 0.1 s
  static constexpr std::uint16_t JogDecelerationRegister = 0x011A; // F126, 0.1 s

  // Fault history: the last three faults, and the frequency at the last one.
  static constexpr std::uint16_t LastFaultRegister = 0x0708;          // F708, F709, F710
  static constexpr std::uint16_t LastFaultFrequencyRegister = 0x070B; // F711, 0.01 Hz

  static constexpr std::uint16_t StatusRegister = 0x1000;
  static constexpr int StatusRegisterCount = 6;
  static constexpr std::uint16_t ControlRegister = 0x2000;
  // Parameters live below this register.
  static constexpr std::uint16_t ParameterRegisterEnd = 0x0E00;
  // Most registers one parameter read may ask for.
  static constexpr int MaxParameterReadCount = 32;

  // Speed divisor factors reported in the status block: a 4-pole motor, and
  // the 100 that turns 0.01 Hz into Hz. (r0 × 120) / (4 × 100) is r/min.
  static constexpr std::uint8_t PoleCount = 4;
  static constexpr std::uint8_t FrequencyScale = 100;
  static constexpr std::uint16_t DcBusVolts = 537;

  static constexpr int FirstFaultCode = 4;
  static constexpr int LastFaultCode = 25;

  DriveModel(int address, ParameterImage parameters, std::int64_t nowMs = 0);

  int Address() const { return address_; }

  // Acts on a request body (address, function, data; no checksum) and returns
  // the reply body: the answer, the echo of a write, or an exception reply
  // (function | 0x80 and a code). The caller decides whether it goes out
  // (never for a broadcast).
  std::vector<std::uint8_t> Handle(const std::vector<std::uint8_t> &request, std::int64_t nowMs);

  // Brings the output frequency forward to nowMs.
  void Advance(std::int64_t nowMs);

  // The six status registers at nowMs.
  std::array<std::uint16_t, StatusRegisterCount> StatusBlock(std::int64_t nowMs);

  // Sets a fault (4..25) as if the drive had tripped: the output drops to 0,
  // the run command is cleared, the fault enters the fault history, and the
  // status code is the fault until reset (command 0009). Returns false for a
  // code outside 4..25.
  bool InjectFault(int code, std::int64_t nowMs);
  int FaultCode() const { return fault_; }

  // Raw parameter access, without the range checks a write over the line gets.
  std::optional<std::uint16_t> Parameter(std::uint16_t reg) const;
  bool SetParameter(std::uint16_t reg, std::uint16_t raw);
  // Writes over the line above `raw` are echoed but `raw` is kept; a
  // negative number ends the limit.
  bool LimitParameter(std::uint16_t reg, std::int32_t raw);
  // Requests naming the parameter get no reply from now on.
  bool MuteParameter(std::uint16_t reg);

  // Output frequency in Hz, negative in reverse.
  double OutputHz() const { return outputHz_; }

  enum class ExceptionCode : std::uint8_t { IllegalFunction = 1, IllegalAddress = 2, IllegalValue = 3 };

private:
  enum class Command { Stop, Run, Jog };

  std::vector<std::uint8_t> ReadRegisters(const std::vector<std::uint8_t> &request, std::int64_t nowMs);
  std::vector<std::uint8_t> WriteRegister(const std::vector<std::uint8_t> &request, std::int64_t nowMs);
  bool ApplyControlCode(std::uint16_t code, std::int64_t nowMs);
  std::vector<std::uint8_t> Exception(const std::vector<std::uint8_t> &request, ExceptionCode code) const;
  std::vector<std::uint8_t> ReportServerId(const std::vector<std::uint8_t> &request) const;

  double ParameterValue(std::uint16_t reg, double fallback) const;
  double TargetHz() const;
  double RampRate(bool accelerating) const; // Hz per second, 0 = instant
  int StatusCode() const;

  int address_;
  ParameterImage parameters_;
  std::int64_t lastMs_;
  double outputHz_ = 0;
  Command command_ = Command::Stop;
  int direction_ = 1;    // of the run command: +1 forward, -1 reverse
  int jogDirection_ = 1; // of the jog being held
  bool jogRamp_ = false; // ramp with the jog times (jogging, or stopping a jog)
  int fault_ = 0;
  std::uint16_t lastControlCode_ = 0;
};
