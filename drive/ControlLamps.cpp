#include "drive/ControlLamps.h"

#include "base/LampColor.h"

std::string ControlCode(ControlCommand command) {
  return std::string("000") + "0123456789ABCDEF"[static_cast<int>(command) & 0x0F];
}

std::optional<LampColors> LampsAfterCommand(int controlType) {
  using namespace LampColor;
  switch (controlType) {
  case FwdStart:
    return LampColors{Green, Off, Green, Off, Off, Off, Off};
  case RevStart:
    return LampColors{Green, Off, Off, Green, Off, Off, Off};
  case DecStop:
  case FreeStop:
  case FwdJogRelease:
  case RevJogRelease:
  case Reset:
    return LampColors{Off, Olive, Off, Off, Off, Off, Off};
  case FwdJogPress:
    return LampColors{Green, Off, Green, Off, Green, Off, Off};
  case Start:
    return LampColors{Green, Off, Off, Off, Off, Off, Off};
  case RevJogPress:
    return LampColors{Green, Off, Off, Green, Green, Off, Off};
  default:
    return std::nullopt;
  }
}
