#include "serial/OpenFailureReason.h"

#include <cerrno>
#include <cstring>

QString OpenFailureReason(int errorNumber) {
  switch (errorNumber) {
  case EACCES:
  case EPERM:
    // Serial devices belong to the dialout group; that is nearly always why.
    return QStringLiteral("Permission denied: add your user to the dialout group");
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
