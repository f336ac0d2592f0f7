#include "serial/OpenFailureReason.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

namespace {
// Joining the device's group helps only when that group may read and write
// it and is not root's (a device of root's alone is no matter of groups).
QString PermissionDenied(const QString &devicePath) {
  struct stat info {};
  if (devicePath.isEmpty() || stat(QFile::encodeName(devicePath).constData(), &info) != 0)
    return QStringLiteral("Permission denied");
  const bool groupMayUse = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (groupMayUse && info.st_gid != 0) {
    const group *owners = getgrgid(info.st_gid);
    const QString name = owners ? QString::fromLocal8Bit(owners->gr_name) : QString::number(info.st_gid);
    return QStringLiteral("Permission denied: add your user to the %1 group").arg(name);
  }
  const passwd *owner = getpwuid(info.st_uid);
  const QString name = owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(info.st_uid);
  return QStringLiteral("Permission denied: the device is readable only by its owner (%1)").arg(name);
}
} // namespace

QString OpenFailureReason(int errorNumber, const QString &devicePath) {
  switch (errorNumber) {
  case EACCES:
  case EPERM:
    return PermissionDenied(devicePath);
  case ENOENT:
  case ENODEV:
  case ENXIO:
  case EIO:
    // ENXIO: the node is there but no device answers behind it (an unplugged
    // adapter whose node is still around). EIO: the serial core's answer for
    // a ttyS node with no UART at its address, as "COM2" is on most PCs.
    return QStringLiteral("No such device");
  case EBUSY:
  case EWOULDBLOCK:
    // EBUSY: another user holds the line exclusively; EWOULDBLOCK: another
    // program holds its lock.
    return QStringLiteral("in use by another program");
  default:
    return QString::fromLocal8Bit(std::strerror(errorNumber));
  }
}
