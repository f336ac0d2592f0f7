#include "serial/HeldInput.h"

#include "serial/InputGathering.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <unistd.h>

using std::chrono::microseconds;

THeldInput::THeldInput(const TInputGathering &gathering, std::uint16_t inputLen)
    : gathering_(gathering), inputLen_(inputLen) {}

bool THeldInput::Allocate(std::uint16_t bufferSize) {
  try {
    buffer_.resize(std::max<std::uint16_t>(bufferSize, 1));
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

THeldInput::Outcome THeldInput::ReadAvailable(int fd, Until until, const std::function<bool()> &stop,
                                              const std::function<void(QByteArray)> &handOver) {
  // Never ask for more than the buffer holds, whatever we were given.
  const std::size_t readSize = std::clamp<std::size_t>(inputLen_, 1, buffer_.size());
  for (;;) {
    if (stop())
      return Outcome::Stopped;
    // What is awaited is read up to its end and no further: bytes after it
    // start the next block. Where a shorter form may come, up to the longer:
    // a short one is followed by nothing, and a read spared is a read spared.
    std::size_t size = std::min(readSize, buffer_.size() - held_);
    const std::size_t length = gathering_.GapUs.load() == 0 ? 0 : ReadLimit();
    if (length > held_)
      size = std::min(size, length - held_);
    const ssize_t got = read(fd, buffer_.data() + held_, size);
    if (got > 0) {
      if (held_ == 0)
        heldSince_ = Clock::now();
      held_ += static_cast<std::size_t>(got);
      std::size_t whole = 0;
      if (gathering_.GapUs.load() == 0 || held_ == buffer_.size())
        whole = held_;
      else
        whole = AwaitedEnd(static_cast<std::size_t>(got));
      if (whole == 0)
        continue;
      handOver(Take(whole));
      if (until == Until::WholeBlock && held_ == 0)
        return Outcome::Pending;
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
      return Outcome::Stopped;
    default:
      return Outcome::HangUp;
    }
  }
}

QByteArray THeldInput::Take(std::size_t count) {
  count = std::min(count, held_);
  QByteArray block(buffer_.data(), static_cast<qsizetype>(count));
  held_ -= count;
  if (held_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + count, held_);
    heldSince_ = Clock::now();
  }
  return block;
}

std::size_t THeldInput::AwaitedLength() const {
  const std::uint32_t shortForm = gathering_.ShortForm.load();
  if (shortForm != 0) {
    const std::size_t flagAt = (shortForm >> 8) & 0xFF;
    if (held_ <= flagAt)
      return flagAt + 1;
    if (static_cast<unsigned char>(buffer_[flagAt]) & ((shortForm >> 16) & 0xFF))
      return shortForm & 0xFF;
  }
  return gathering_.Count.load();
}

std::size_t THeldInput::ReadLimit() const {
  const std::size_t count = gathering_.Count.load();
  return count != 0 ? count : AwaitedLength();
}

std::size_t THeldInput::AwaitedEnd(std::size_t got) const {
  const std::size_t length = AwaitedLength();
  if (length != 0 && held_ >= length)
    return length;
  const int endByte = gathering_.EndByte.load();
  if (endByte < 0)
    return 0;
  const char *start = buffer_.data() + held_ - got;
  const void *found = std::memchr(start, endByte, got);
  return found ? static_cast<std::size_t>(static_cast<const char *>(found) - buffer_.data()) + 1 : 0;
}

bool THeldInput::HoldTimeout(microseconds &wait) const {
  if (held_ == 0)
    return false;
  const auto held = std::chrono::duration_cast<microseconds>(Clock::now() - heldSince_);
  const microseconds left = std::max(microseconds(0), microseconds(TInputGathering::HoldLimitUs) - held);
  wait = std::min(left, microseconds(gathering_.GapUs.load()));
  return true;
}

bool THeldInput::RestDue(microseconds &wait) const {
  std::size_t length = AwaitedLength();
  // Nothing is whole before its shortest form is in: no waking for the byte
  // that tells which form it is.
  const std::size_t least = gathering_.Least.load();
  if (held_ < least) {
    const std::size_t count = gathering_.Count.load();
    length = count == 0 ? least : std::min(least, count);
  }
  if (length <= held_)
    return false;
  const auto held = std::chrono::duration_cast<microseconds>(Clock::now() - heldSince_);
  const microseconds left = microseconds(TInputGathering::HoldLimitUs) - held;
  const microseconds rest(static_cast<long long>(length - held_) * gathering_.CharUs.load());
  wait = std::min(left, rest);
  return wait.count() > 0;
}
