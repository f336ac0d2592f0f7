#include "sim/TcpLine.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

TcpLine::~TcpLine() { Close(); }

bool TcpLine::Open(int port, std::string &error) {
  Close();
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listen_ < 0) {
    error = std::string("cannot create a socket: ") + std::strerror(errno);
    return false;
  }
  const int on = 1;
  // A restarted simulator takes its port again at once.
  setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(listen_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      ::listen(listen_, 4) != 0) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    Close();
    return false;
  }
  socklen_t length = sizeof address;
  getsockname(listen_, reinterpret_cast<sockaddr *>(&address), &length);
  port_ = ntohs(address.sin_port);
  return true;
}

void TcpLine::Close() {
  DropClient();
  if (listen_ >= 0)
    ::close(listen_);
  listen_ = -1;
  port_ = 0;
}

void TcpLine::AcceptClient() {
  if (client_ >= 0 || listen_ < 0)
    return;
  client_ = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (client_ >= 0) {
    const int on = 1;
    setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
}

void TcpLine::DropClient() {
  if (client_ >= 0)
    ::close(client_);
  client_ = -1;
}

std::string TcpLine::PortName() const { return "tcp:127.0.0.1:" + std::to_string(port_); }
