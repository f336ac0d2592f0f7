#include "serial/CloseEvent.h"

#include <cerrno>
#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

TCloseEvent::TCloseEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TCloseEvent::~TCloseEvent() {
  if (fd_ >= 0)
    close(fd_);
}

void TCloseEvent::Set() {
  if (set_.exchange(true, std::memory_order_acq_rel))
    return;
  // Nobody ever reads the counter back, so the descriptor stays readable.
  const std::uint64_t one = 1;
  ssize_t written;
  do {
    written = write(fd_, &one, sizeof one);
  } while (written < 0 && errno == EINTR);
}
