#pragma once

#include <QString>

// A port's descriptor opened (or connected) but not yet running: the part of
// opening a port that may wait, on a device or on a TCP serial server, split
// off so that it can run on any thread. TComm::OpenPort takes it over on the
// component's own thread; a descriptor nobody took is closed with its owner.
class TAcquiredPort {
public:
  // Opens the device that `commName` stands for (PortNames), exclusively, or
  // connects to the TCP serial server it names within `tcpConnectTimeout` ms.
  static TAcquiredPort Acquire(const QString &commName, int tcpConnectTimeout);

  TAcquiredPort() = default;
  TAcquiredPort(TAcquiredPort &&other) noexcept;
  TAcquiredPort &operator=(TAcquiredPort &&other) noexcept;
  TAcquiredPort(const TAcquiredPort &) = delete;
  TAcquiredPort &operator=(const TAcquiredPort &) = delete;
  ~TAcquiredPort();

  bool IsValid() const { return fd_ >= 0; }
  bool OverTcp() const { return overTcp_; }
  // Why it failed: the component's PortOpenError text and the system's
  // reason (PortOpenReason); both empty when it is valid.
  QString Error() const { return error_; }
  QString Reason() const { return reason_; }
  // Hands the descriptor over; the object no longer closes it.
  int Release();

private:
  static TAcquiredPort Failed(const char *error, const QString &reason);
  static TAcquiredPort OpenDevice(const QString &commName);
  static TAcquiredPort ConnectToServer(const QString &commName, int tcpConnectTimeout);

  int fd_ = -1;
  bool overTcp_ = false;
  QString error_;
  QString reason_;
};
