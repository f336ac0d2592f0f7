#pragma once

#include "cli/CliOptions.h"

// A service's options in an INI file (--config FILE): each key is an
// option's long name, in any group ([line] port=..., [mqtt] mqtt=...), once
// in the whole file, a switch true or false; lines starting with # or ; are
// comments. Options given on the command line win.
namespace ConfigFile {

// Adds the file's options that the command line does not give; CliError
// (bad input), naming the file and the line, for a file that cannot be
// read, a key that names no option or is given twice, or a value with ";".
void AddOptions(CliArguments &args, const QString &path);

} // namespace ConfigFile
