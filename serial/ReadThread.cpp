#include "serial/ReadThread.h"

#include "serial/CloseEvent.h"
#include "serial/CommEvents.h"
#include "serial/InputGathering.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <vector>

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
timespec ToTimespec(std::chrono::microseconds wait) {
  timespec result{};
  result.tv_sec = static_cast<time_t>(wait.count() / 1'000'000);
  result.tv_nsec = static_cast<long>(wait.count() % 1'000'000 * 1000);
  return result;
}
} // namespace

TReadThread::TReadThread(int portHandle, TCloseEvent &closeEvent, QObject *notifyWindow,
                         std::uint16_t inputLen, std::uint16_t inBufferSize, const TInputGathering &gathering)
    : portHandle_(portHandle), closeEvent_(closeEvent), notifyWindow_(notifyWindow), inputLen_(inputLen),
      inBufferSize_(inBufferSize), gathering_(gathering) {}

TReadThread::~TReadThread() { Join(); }

bool TReadThread::Start() {
  try {
    thread_ = std::thread([this] { Execute(); });
  } catch (const std::system_error &) {
    return false;
  }
  return true;
}

void TReadThread::Join() {
  if (thread_.joinable())
    thread_.join();
}

void TReadThread::Execute() {
  std::vector<char> buffer;
  try {
    buffer.resize(std::max<std::uint16_t>(inBufferSize_, 1));
  } catch (const std::bad_alloc &) {
    PostCommEvent(notifyWindow_, MsgRequestHangup);
    return;
  }
  // Never ask for more than the buffer holds, whatever we were given.
  const auto readSize = static_cast<std::uint16_t>(std::clamp<std::size_t>(inputLen_, 1, buffer.size()));

  haveCounters_ = ReadCounters(counters_);

  Outcome outcome;
  for (;;) {
    // Take everything the driver holds before sleeping again: bytes that came
    // in while no read was pending are waiting in its queue.
    const std::size_t heldBefore = held_;
    outcome = ReadAvailable(buffer.data(), buffer.size(), readSize);
    if (outcome != Outcome::Pending)
      break;

    timespec timeout{};
    const bool holding = HoldTimeout(timeout);
    if (holding && timeout.tv_sec == 0 && timeout.tv_nsec == 0) {
      PostHeld(buffer.data(), held_);
      continue;
    }
    if (holding && held_ > heldBefore && RestDue(buffer.data(), timeout)) {
      // Its bytes come one by one: sleep until they should all be in and
      // take them with one read. Only a close request wakes the thread now.
      pollfd closeOnly = {closeEvent_.Fd(), POLLIN, 0};
      if (ppoll(&closeOnly, 1, &timeout, nullptr) > 0) {
        outcome = Outcome::EndQuietly;
        break;
      }
      continue;
    }
    // The close event comes first, so a close request wins over pending input.
    pollfd waitSet[2] = {{closeEvent_.Fd(), POLLIN, 0}, {portHandle_, POLLIN, 0}};
    const int ready = ppoll(waitSet, 2, holding ? &timeout : nullptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR)
        continue;
      outcome = Outcome::HangUp;
      break;
    }
    if (ready == 0) { // the line went quiet: what is held is whole
      PostHeld(buffer.data(), held_);
      continue;
    }
    if (waitSet[0].revents != 0) {
      outcome = Outcome::EndQuietly;
      break;
    }
    if (haveCounters_)
      ReportLineEvents();
    const short device = waitSet[1].revents;
    if (device & POLLNVAL) {
      outcome = Outcome::EndQuietly;
      break;
    }
    if (device & (POLLHUP | POLLERR)) {
      // The device is gone (adapter pulled out, other end of a pseudo-terminal
      // closed). Pass on what it still holds, then stop: polling again would
      // only report the hang-up again at once.
      outcome = ReadAvailable(buffer.data(), buffer.size(), readSize);
      if (outcome == Outcome::Pending)
        outcome = Outcome::HangUp;
      break;
    }
  }

  if (outcome == Outcome::HangUp) {
    PostHeld(buffer.data(), held_); // what came before the hang-up still counts
    PostCommEvent(notifyWindow_, MsgRequestHangup);
  }
  tcflush(portHandle_, TCIFLUSH);
}

TReadThread::Outcome TReadThread::ReadAvailable(char *buffer, std::size_t bufferSize,
                                                std::uint16_t readSize) {
  for (;;) {
    if (closeEvent_.IsSet())
      return Outcome::EndQuietly;
    // What is awaited is read up to its end and no further: bytes after it
    // start the next block.
    std::size_t size = std::min<std::size_t>(readSize, bufferSize - held_);
    const std::size_t length = gathering_.GapUs.load() == 0 ? 0 : AwaitedLength(buffer);
    if (length > held_)
      size = std::min(size, length - held_);
    const ssize_t got = read(portHandle_, buffer + held_, size);
    if (got > 0) {
      if (held_ == 0)
        heldSince_ = Clock::now();
      held_ += static_cast<std::size_t>(got);
      if (gathering_.GapUs.load() == 0 || held_ == bufferSize)
        PostHeld(buffer, held_);
      else if (const std::size_t end = AwaitedEnd(buffer, static_cast<std::size_t>(got)))
        PostHeld(buffer, end);
      continue;
    }
    // A terminal in non-blocking mode reports "nothing yet" as EAGAIN; a
    // return of 0 means the other side has gone for good.
    if (got == 0)
      return Outcome::HangUp;
    switch (errno) {
    case EINTR:
      continue;
    case EAGAIN:
      return Outcome::Pending;
    case EBADF:
      return Outcome::EndQuietly;
    default:
      return Outcome::HangUp;
    }
  }
}

std::size_t TReadThread::AwaitedLength(const char *buffer) const {
  const std::uint32_t shortForm = gathering_.ShortForm.load();
  if (shortForm != 0) {
    const std::size_t flagAt = (shortForm >> 8) & 0xFF;
    if (held_ <= flagAt)
      return flagAt + 1;
    if (static_cast<unsigned char>(buffer[flagAt]) & ((shortForm >> 16) & 0xFF))
      return shortForm & 0xFF;
  }
  return gathering_.Count.load();
}

std::size_t TReadThread::AwaitedEnd(const char *buffer, std::size_t got) const {
  const std::size_t length = AwaitedLength(buffer);
  if (length != 0 && held_ >= length)
    return length;
  const int endByte = gathering_.EndByte.load();
  if (endByte < 0)
    return 0;
  const char *start = buffer + held_ - got;
  const void *found = std::memchr(start, endByte, got);
  return found ? static_cast<std::size_t>(static_cast<const char *>(found) - buffer) + 1 : 0;
}

bool TReadThread::HoldTimeout(timespec &timeout) const {
  if (held_ == 0)
    return false;
  using std::chrono::microseconds;
  const auto held = std::chrono::duration_cast<microseconds>(Clock::now() - heldSince_);
  const microseconds left = std::max(microseconds(0), microseconds(TInputGathering::HoldLimitUs) - held);
  timeout = ToTimespec(std::min(left, microseconds(gathering_.GapUs.load())));
  return true;
}

bool TReadThread::RestDue(const char *buffer, timespec &timeout) const {
  std::size_t length = AwaitedLength(buffer);
  // Nothing is whole before its shortest form is in: no waking for the byte
  // that tells which form it is.
  const std::size_t least = gathering_.Least.load();
  if (held_ < least) {
    const std::size_t count = gathering_.Count.load();
    length = count == 0 ? least : std::min(least, count);
  }
  if (length <= held_)
    return false;
  using std::chrono::microseconds;
  const auto held = std::chrono::duration_cast<microseconds>(Clock::now() - heldSince_);
  const microseconds left = microseconds(TInputGathering::HoldLimitUs) - held;
  const microseconds rest(static_cast<long long>(length - held_) * gathering_.CharUs.load());
  const microseconds wait = std::min(left, rest);
  if (wait.count() <= 0)
    return false;
  timeout = ToTimespec(wait);
  return true;
}

void TReadThread::PostHeld(char *buffer, std::size_t count) {
  if (count == 0)
    return;
  PostCommEvent(notifyWindow_, MsgReceiveData, static_cast<std::uint32_t>(count),
                QByteArray(buffer, static_cast<qsizetype>(count)));
  held_ -= count;
  if (held_ > 0) {
    std::memmove(buffer, buffer + count, held_);
    heldSince_ = Clock::now();
  }
}

bool TReadThread::ReadCounters(TLineCounters &counters) const {
  serial_icounter_struct now{};
  if (ioctl(portHandle_, TIOCGICOUNT, &now) != 0)
    return false;
  counters = {now.dcd, now.rng, now.frame, now.overrun, now.parity, now.brk, now.buf_overrun};
  return true;
}

void TReadThread::ReportLineEvents() {
  TLineCounters current;
  if (!ReadCounters(current)) {
    haveCounters_ = false;
    return;
  }
  const TLineEvents events = LineEventsBetween(counters_, current);
  counters_ = current;
  if (events.Errors != 0)
    PostCommEvent(notifyWindow_, MsgReceiveError, events.Errors);
  if (events.ModemEvents != 0)
    PostCommEvent(notifyWindow_, MsgModemStateChange, events.ModemEvents);
}
