#pragma once

#include <QStringList>

// vossek-drive-cli without its main(): takes the arguments after the
// program's name, runs the subcommand on a Qt Core event loop that the
// caller has made, and returns the exit status.
namespace CliProgram {
int Run(const QStringList &arguments);
}
