#pragma once

#include <QString>

// The file backup writes for the user's --out path: symbolic links are
// followed, so that the copy goes into the file a link names and the link
// stays. Checked before anything is read from the drive: raises CliError
// (bad input), naming the user's path, for a place that is not a regular
// file or a new name (a device, a FIFO, a folder), a read-only file, or a
// folder that is missing or cannot be written.
QString BackupTarget(const QString &path);
