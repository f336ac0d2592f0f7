#pragma once

#include <optional>
#include <string>

// The seven status lamps as the last control command leaves them once the
// drive has answered. Colours have red in the low byte.
struct LampColors {
  int run, stop, fwd, rev, jog, fault, com;
  bool operator==(const LampColors &) const = default;
};

// The control commands; the value is both the command type and, as four hex
// digits, the code written into the control register. 7 is not used.
enum ControlCommand {
  NoCommand = 0,
  FwdStart = 1,
  RevStart = 2,
  DecStop = 3,
  FreeStop = 4,
  FwdJogPress = 5,
  FwdJogRelease = 6,
  Start = 8,
  Reset = 9,
  RevJogPress = 10,
  RevJogRelease = 11,
};

// "0001" for FwdStart ... "000B" for RevJogRelease.
std::string ControlCode(ControlCommand command);

// The lamps for a command type, or nothing when the type leaves them as they
// are (no command yet, or an unknown type).
std::optional<LampColors> LampsAfterCommand(int controlType);
