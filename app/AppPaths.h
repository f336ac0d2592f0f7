#pragma once

#include <QString>

// Where the program lives. The data folder "database1" stands beside the
// program; tests point the program folder at a scratch folder.
namespace AppPaths {
// The program folder, ending with "/".
QString ProgramFolder();
void SetProgramFolder(const QString &folder);
// ProgramFolder() + "database1/"
QString DataFolder();
} // namespace AppPaths
