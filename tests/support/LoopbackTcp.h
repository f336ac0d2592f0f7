#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// TCP on 127.0.0.1 for tests and benchmarks that stand in for a serial server.

// A socket bound to a free port of 127.0.0.1, which `address` then holds.
inline int BoundLoopbackSocket(sockaddr_in &address) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
  return fd;
}

// A TCP port on 127.0.0.1 that nothing listens on at the moment.
inline int FreeLoopbackPort() {
  sockaddr_in address{};
  close(BoundLoopbackSocket(address));
  return ntohs(address.sin_port);
}
