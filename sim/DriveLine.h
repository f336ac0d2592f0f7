#pragma once

#include "sim/ModbusFraming.h"

#include <optional>

// A drive left at line settings of its own: it hears the line only while the
// master is at them. Empty fields: any.
struct DriveLine {
  int baud = 0;
  std::optional<char> parity; // 'N', 'E' or 'O'
  std::optional<FrameMode> mode;

  bool operator==(const DriveLine &) const = default;
};

// The line settings as the simulator's end can see them; empty where it
// cannot. A Linux pseudo-terminal keeps the rate its user sets but clears the
// parity bit, so there parity is never seen; over TCP no setting travels.
struct LineSeen {
  std::optional<int> baud;
  std::optional<char> parity;
};

// Whether a drive at `own` hears a request in `mode` on a line at `seen`:
// what cannot be seen does not stand in its way.
inline bool HearsLine(const DriveLine &own, const LineSeen &seen, FrameMode mode) {
  if (own.mode && *own.mode != mode)
    return false;
  if (own.baud > 0 && seen.baud && *seen.baud != own.baud)
    return false;
  return !(own.parity && seen.parity && *seen.parity != *own.parity);
}
