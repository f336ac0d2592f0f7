#include "cli/BackupTarget.h"

#include "cli/CliError.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// As many links as the system follows in one path.
constexpr int MostLinks = 40;

bool Writable(const QString &path, int mode) {
  return ::access(QFile::encodeName(path).constData(), mode) == 0;
}
} // namespace

QString BackupTarget(const QString &path) {
  QString place = QFileInfo(path).absoluteFilePath();
  for (int links = 0; QFileInfo(place).isSymLink(); ++links) {
    if (links == MostLinks)
      throw CliError::BadInput(path + ": too many symbolic links");
    place = QFileInfo(place).symLinkTarget();
  }
  const QString shown = place == QFileInfo(path).absoluteFilePath() ? path : path + " (" + place + ")";

  const QString folder = QFileInfo(place).absolutePath();
  if (!QFileInfo(folder).isDir())
    throw CliError::BadInput(shown + ": the folder " + folder + " does not exist");
  if (!Writable(folder, W_OK | X_OK))
    throw CliError::BadInput(shown + ": the folder " + folder + " cannot be written");

  struct stat st {};
  if (::lstat(QFile::encodeName(place).constData(), &st) != 0)
    return place; // a new name
  if (!S_ISREG(st.st_mode))
    throw CliError::BadInput(shown + " is not a regular file (" +
                             (S_ISDIR(st.st_mode)                          ? QStringLiteral("a folder")
                              : S_ISFIFO(st.st_mode)                       ? QStringLiteral("a FIFO")
                              : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? QStringLiteral("a device")
                                                                           : QStringLiteral("not a file")) +
                             "); backup writes a regular file or a new name");
  // The permission bits count even for root, who may write anything.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || !Writable(place, W_OK))
    throw CliError::BadInput(shown + " is read-only; backup leaves it as it is");
  return place;
}
