#include "serial/ReadThread.h"

#include "serial/CloseEvent.h"
#include "serial/CommEvents.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>
#include <vector>

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

TReadThread::TReadThread(int portHandle, TCloseEvent &closeEvent, QObject *notifyWindow,
                         std::uint16_t inputLen, std::uint16_t inBufferSize)
    : portHandle_(portHandle), closeEvent_(closeEvent), notifyWindow_(notifyWindow), inputLen_(inputLen),
      inBufferSize_(inBufferSize) {}

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
    outcome = ReadAvailable(buffer.data(), readSize);
    if (outcome != Outcome::Pending)
      break;

    // The close event comes first, so a close request wins over pending input.
    pollfd waitSet[2] = {{closeEvent_.Fd(), POLLIN, 0}, {portHandle_, POLLIN, 0}};
    if (poll(waitSet, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      outcome = Outcome::HangUp;
      break;
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
      outcome = ReadAvailable(buffer.data(), readSize);
      if (outcome == Outcome::Pending)
        outcome = Outcome::HangUp;
      break;
    }
  }

  if (outcome == Outcome::HangUp)
    PostCommEvent(notifyWindow_, MsgRequestHangup);
  tcflush(portHandle_, TCIFLUSH);
}

TReadThread::Outcome TReadThread::ReadAvailable(char *buffer, std::uint16_t readSize) {
  for (;;) {
    if (closeEvent_.IsSet())
      return Outcome::EndQuietly;
    const ssize_t got = read(portHandle_, buffer, readSize);
    if (got > 0) {
      const auto count = static_cast<std::uint32_t>(got);
      PostCommEvent(notifyWindow_, MsgReceiveData, count, QByteArray(buffer, static_cast<qsizetype>(got)));
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
