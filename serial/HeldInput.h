#pragma once

#include <QByteArray>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct TInputGathering;

// The bytes read from a port and not handed over yet, and the rules of
// TInputGathering for when they are whole. Both readers of a port use it:
// the reader thread of a serial device and the socket reader of a TCP serial
// server.
class THeldInput {
public:
  using Clock = std::chrono::steady_clock;
  enum class Outcome { Pending, Stopped, HangUp };

  THeldInput(const TInputGathering &gathering, std::uint16_t inputLen);
  THeldInput(const THeldInput &) = delete;
  THeldInput &operator=(const THeldInput &) = delete;

  // Sizes the buffer; false when there is no memory for it.
  bool Allocate(std::uint16_t bufferSize);

  // Reads what `fd` holds until it has nothing more (Pending), handing over
  // each block that is whole as soon as it is; with WholeBlock, also once a
  // block is whole and nothing is left over, for a reader that is told when
  // more comes and need not spend a read that finds nothing. `stop` is asked
  // before every read; a block is taken off the buffer before it is handed
  // over, so the handler may come back here.
  enum class Until { Empty, WholeBlock };
  Outcome ReadAvailable(int fd, Until until, const std::function<bool()> &stop,
                        const std::function<void(QByteArray)> &handOver);

  std::size_t Held() const { return held_; }
  // Takes the first `count` held bytes; the rest stays held.
  QByteArray Take(std::size_t count);
  // How long to wait for more before handing over what is held: false with
  // nothing held, else until the gap or the hold limit ends (zero: now).
  bool HoldTimeout(std::chrono::microseconds &wait) const;
  // How long to sleep while the rest of what is awaited is still on the
  // line, for a reader that need not wake for each byte; false when nothing
  // known is due.
  bool RestDue(std::chrono::microseconds &wait) const;

private:
  // The bytes held that are the whole of what is awaited (0: not yet), the
  // last `got` of them just read.
  std::size_t AwaitedEnd(std::size_t got) const;
  // How many bytes are held when what is awaited is in, or when the byte
  // that tells its length is (0: not known).
  std::size_t AwaitedLength() const;
  // The most bytes that what is awaited can have (0: not known).
  std::size_t ReadLimit() const;

  const TInputGathering &gathering_;
  std::uint16_t inputLen_;
  std::vector<char> buffer_;
  // Bytes read and not handed over yet, at the start of the buffer, and when
  // the first of them came.
  std::size_t held_ = 0;
  Clock::time_point heldSince_;
};
