#include "cli/ControlNames.h"

#include "drive/ControlLamps.h"

#include <QMap>

namespace {
const QMap<QString, ControlCommand> Names = {
    {"fwd", FwdStart}, {"rev", RevStart}, {"stop", DecStop},        {"free-stop", FreeStop},
    {"start", Start},  {"reset", Reset},  {"jog-fwd", FwdJogPress}, {"jog-rev", RevJogPress},
};
} // namespace

namespace ControlNames {

const char *const Listed = "fwd, rev, stop, free-stop, start, reset, jog-fwd or jog-rev";

bool ReleaseAllowed(const QString &name) { return name == "jog-fwd" || name == "jog-rev"; }

std::optional<int> CommandNamed(const QString &name, bool release) {
  const auto found = Names.constFind(name);
  if (found == Names.constEnd() || (release && !ReleaseAllowed(name)))
    return std::nullopt;
  if (!release)
    return *found;
  return *found == FwdJogPress ? FwdJogRelease : RevJogRelease;
}

} // namespace ControlNames
