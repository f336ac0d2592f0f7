#include "serial/TcpSerialServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

QString SystemReason(int errorNumber) { return QString::fromLocal8Bit(std::strerror(errorNumber)); }

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// A name look-up running on a thread of its own. The resolver has no time
// limit of its own that we could set, so the caller waits for it only until
// its deadline; a look-up that comes later finishes unseen and frees its
// result with the last reference.
struct Lookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  int status = 0;
  int systemError = 0; // errno of the look-up's thread, for EAI_SYSTEM
  addrinfo *list = nullptr;

  ~Lookup() {
    if (list)
      freeaddrinfo(list);
  }
};

using AddressList = std::unique_ptr<addrinfo, void (*)(addrinfo *)>;

AddressList Resolve(const TcpSerialServer::TAddress &address, Clock::time_point deadline, QString &reason) {
  AddressList none(nullptr, freeaddrinfo);
  const QByteArray host = address.Host.toUtf8();
  const QByteArray service = QByteArray::number(address.Port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;

  // A literal address needs no name service and no thread.
  addrinfo *list = nullptr;
  hints.ai_flags |= AI_NUMERICHOST;
  if (getaddrinfo(host.constData(), service.constData(), &hints, &list) == 0)
    return AddressList(list, freeaddrinfo);
  hints.ai_flags &= ~AI_NUMERICHOST;

  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host, service, hints] {
      addrinfo *found = nullptr;
      const int status = getaddrinfo(host.constData(), service.constData(), &hints, &found);
      const int systemError = errno;
      std::lock_guard lock(lookup->mutex);
      lookup->status = status;
      lookup->systemError = systemError;
      lookup->list = found;
      lookup->done = true;
      lookup->finished.notify_all();
    }).detach();
  } catch (const std::system_error &error) {
    reason = SystemReason(error.code().value());
    return none;
  }

  std::unique_lock lock(lookup->mutex);
  if (!lookup->finished.wait_until(lock, deadline, [&] { return lookup->done; })) {
    reason = SystemReason(ETIMEDOUT);
    return none;
  }
  if (lookup->status != 0) {
    reason = lookup->status == EAI_SYSTEM ? SystemReason(lookup->systemError)
                                          : QString::fromLocal8Bit(gai_strerror(lookup->status));
    return none;
  }
  AddressList result(lookup->list, freeaddrinfo);
  lookup->list = nullptr;
  return result;
}

// Tries one address; 0 and a connected socket in `fd`, or the errno.
int ConnectOne(const addrinfo &address, Clock::time_point deadline, int &fd) {
  fd = socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return errno;
  int error = 0;
  if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    error = errno;
    while (error == EINPROGRESS || error == EINTR) {
      pollfd wait{fd, POLLOUT, 0};
      const int ready = poll(&wait, 1, MsLeft(deadline));
      if (ready < 0 && errno == EINTR)
        continue;
      if (ready <= 0) {
        error = ready == 0 ? ETIMEDOUT : errno;
        break;
      }
      socklen_t length = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
      break;
    }
  }
  if (error != 0) {
    close(fd);
    fd = -1;
  }
  return error;
}

void SetOption(int fd, int level, int name, int value) { setsockopt(fd, level, name, &value, sizeof value); }
} // namespace

namespace TcpSerialServer {
bool IsTcpName(const QString &name) { return name.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive); }

std::optional<TAddress> ParseName(const QString &name) {
  if (!IsTcpName(name))
    return std::nullopt;
  const QString rest = name.mid(4);
  // "tcp:HOST" and "tcp:[IPv6]" name the Modbus TCP port; an IPv6 address
  // with a port is in brackets, so a colon inside them is the address's.
  const qsizetype colon = rest.lastIndexOf(':');
  const bool portGiven = colon > 0 && !(rest.startsWith('[') && rest.indexOf(']') > colon);
  QString host = portGiven ? rest.left(colon) : rest;
  const QString port = portGiven ? rest.mid(colon + 1) : QString::number(DefaultPort);
  if (host.startsWith('[') && host.endsWith(']'))
    host = host.mid(1, host.size() - 2);
  else if (host.contains(':'))
    return std::nullopt; // an IPv6 address without its brackets
  if (host.isEmpty() || host.contains(' ') || port.isEmpty() || port.size() > 5)
    return std::nullopt;
  for (QChar c : port)
    if (c < '0' || c > '9')
      return std::nullopt;
  const int number = port.toInt();
  if (number < 1 || number > 65535)
    return std::nullopt;
  return TAddress{host, static_cast<std::uint16_t>(number)};
}

int Connect(const TAddress &address, int timeoutMs, QString &reason) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 1));
  const AddressList list = Resolve(address, deadline, reason);
  if (!list)
    return -1;

  int lastError = ETIMEDOUT;
  for (const addrinfo *candidate = list.get(); candidate; candidate = candidate->ai_next) {
    int fd = -1;
    lastError = ConnectOne(*candidate, deadline, fd);
    if (lastError != 0) {
      if (MsLeft(deadline) == 0)
        break;
      continue;
    }
    // Modbus frames are small and each waits for its reply: send at once.
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    // A server that vanishes without a word (power cut, cable pulled) would
    // otherwise leave the connection looking alive for hours: probe an idle
    // connection after 5 s, every 2 s, give up after 3 unanswered probes,
    // and give up on unacknowledged data after 10 s. Either ends the
    // connection as a hang-up.
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 5);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 2);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
    SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, 10000);
    reason.clear();
    return fd;
  }
  reason = SystemReason(lastError);
  return -1;
}
} // namespace TcpSerialServer
