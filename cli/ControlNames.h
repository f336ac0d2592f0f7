#pragma once

#include <QString>
#include <optional>

// The control commands by the names the command line and the broker use
// (fwd, rev, stop, free-stop, start, reset, jog-fwd, jog-rev).
namespace ControlNames {

// "fwd, rev, stop, free-stop, start, reset, jog-fwd or jog-rev"
extern const char *const Listed;

// The command's code for the control register (a ControlCommand); a jog's
// release with `release`. Nothing for an unknown name, or for the release
// of anything but a jog.
std::optional<int> CommandNamed(const QString &name, bool release);

// Only the jogs have a release.
bool ReleaseAllowed(const QString &name);

} // namespace ControlNames
