#include "serial/AcquiredPort.h"

#include "serial/OpenFailureReason.h"
#include "serial/PortNames.h"
#include "serial/TcpSerialServer.h"

#include <QFile>

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char kOpenFailed[] = "Error opening serial port";
const char kNotCommHandle[] = "File handle is not a comm handle ";
const char kNotTcpAddress[] = "not a TCP serial server address (tcp:HOST:PORT)";
} // namespace

TAcquiredPort TAcquiredPort::Acquire(const QString &commName, int tcpConnectTimeout) {
  return TcpSerialServer::IsTcpName(commName) ? ConnectToServer(commName, tcpConnectTimeout)
                                              : OpenDevice(commName);
}

TAcquiredPort::TAcquiredPort(TAcquiredPort &&other) noexcept
    : fd_(std::exchange(other.fd_, -1)), overTcp_(other.overTcp_), error_(std::move(other.error_)),
      reason_(std::move(other.reason_)) {}

TAcquiredPort &TAcquiredPort::operator=(TAcquiredPort &&other) noexcept {
  if (this != &other) {
    if (fd_ >= 0)
      close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    overTcp_ = other.overTcp_;
    error_ = std::move(other.error_);
    reason_ = std::move(other.reason_);
  }
  return *this;
}

TAcquiredPort::~TAcquiredPort() {
  if (fd_ >= 0)
    close(fd_);
}

int TAcquiredPort::Release() { return std::exchange(fd_, -1); }

TAcquiredPort TAcquiredPort::Failed(const char *error, const QString &reason) {
  TAcquiredPort port;
  port.error_ = QString::fromLatin1(error);
  port.reason_ = reason;
  return port;
}

TAcquiredPort TAcquiredPort::OpenDevice(const QString &commName) {
  const QString path = PortNames::DevicePath(commName);
  if (path.isEmpty())
    return Failed(kOpenFailed, OpenFailureReason(ENODEV));
  const int fd = open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return Failed(kOpenFailed, OpenFailureReason(errno, path));
  // Exclusive use: the lock keeps out every other opener that asks (this
  // program included, even as root); TIOCEXCL keeps out ordinary users who
  // do not ask.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const QString reason = OpenFailureReason(errno);
    close(fd);
    return Failed(kOpenFailed, reason);
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || !isatty(fd)) {
    close(fd);
    return Failed(kNotCommHandle, QString());
  }
  ioctl(fd, TIOCEXCL);
  TAcquiredPort port;
  port.fd_ = fd;
  return port;
}

TAcquiredPort TAcquiredPort::ConnectToServer(const QString &commName, int tcpConnectTimeout) {
  const auto address = TcpSerialServer::ParseName(commName);
  if (!address)
    return Failed(kOpenFailed, QString::fromLatin1(kNotTcpAddress));
  QString reason;
  const int fd = TcpSerialServer::Connect(*address, tcpConnectTimeout, reason);
  if (fd < 0)
    return Failed(kOpenFailed, reason);
  TAcquiredPort port;
  port.fd_ = fd;
  port.overTcp_ = true;
  return port;
}
