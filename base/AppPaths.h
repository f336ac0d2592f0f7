#pragma once

#include <QString>

// Where the program lives and where it keeps its data.
//
// The data folder "database1" stands beside the program when the program
// can keep it there: the build folder and a portable copy work as they
// always have. An installed program (its shipped files in
// ../share/vossek-drive-desk beside its folder) or one whose folder is not
// writable keeps it per user, in $XDG_DATA_HOME/vossek-drive-desk/database1
// (~/.local/share/... by default), made from the installed templates at the
// first start. Tests point the program folder at a scratch folder.
namespace AppPaths {
// The program folder, ending with "/".
QString ProgramFolder();
void SetProgramFolder(const QString &folder);
// The data folder in use, ending with "/".
QString DataFolder();
// The installed read-only files (templates, user guide), ending with "/";
// the folder need not exist.
QString SharedFolder();
// The delivered tables that a per-user data folder is made from.
QString TemplateFolder();
} // namespace AppPaths
