#pragma once

#include "cli/CliOptions.h"

// A service's options in an INI file (--config FILE): each key is an
// option's long name, in any group ([line] port=..., [mqtt] mqtt=...), a
// switch true or false. Options given on the command line win.
namespace ConfigFile {

// Adds the file's options that the command line does not give; CliError
// (bad input) for a file that cannot be read or a key that names no option.
void AddOptions(CliArguments &args, const QString &path);

} // namespace ConfigFile
