#pragma once

#include <atomic>

// A one-way, manual-reset signal that tells the port threads to stop. Once
// set it stays set, so any number of threads can wait on it with poll() next
// to their device, and a thread busy reading can test it without a system call.
class TCloseEvent {
public:
  TCloseEvent();
  ~TCloseEvent();
  TCloseEvent(const TCloseEvent &) = delete;
  TCloseEvent &operator=(const TCloseEvent &) = delete;

  // False when the kernel could not give us the event descriptor.
  bool IsValid() const { return fd_ >= 0; }
  // The descriptor that becomes readable (POLLIN) once the event is set.
  int Fd() const { return fd_; }
  void Set();
  bool IsSet() const { return set_.load(std::memory_order_acquire); }

private:
  int fd_ = -1;
  std::atomic<bool> set_{false};
};
