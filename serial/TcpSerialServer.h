#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// Transparent serial servers: devices (or ser2net and the like) that put a
// serial line on a TCP port and carry its bytes unchanged both ways. The port
// name "tcp:HOST:PORT" stands for one of them; an IPv6 host is written in
// brackets ("tcp:[fd00::7]:4001").
namespace TcpSerialServer {
struct TAddress {
  QString Host;
  std::uint16_t Port = 0;
};

// The Modbus TCP port, for a name that gives none ("tcp:HOST").
constexpr std::uint16_t DefaultPort = 502;

// True for every name that starts with "tcp:", well-formed or not, so that a
// mistyped address is reported as such instead of being looked up as a
// device.
bool IsTcpName(const QString &name);
// The host and port of a "tcp:HOST:PORT" or "tcp:HOST" name; nothing when
// it is malformed.
std::optional<TAddress> ParseName(const QString &name);

// Connects to the server within `timeoutMs` (name look-up included) and
// returns the connected socket, non-blocking and close-on-exec, or -1 with
// the system's reason in `reason`. The caller's thread waits at most about
// `timeoutMs`, however slow the name service or the network.
int Connect(const TAddress &address, int timeoutMs, QString &reason);
} // namespace TcpSerialServer
