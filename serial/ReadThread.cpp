#include "serial/ReadThread.h"

#include "serial/CloseEvent.h"
#include "serial/CommEvents.h"
#include "serial/InputGathering.h"

#include <cerrno>
#include <cstring>
#include <system_error>

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
    : portHandle_(portHandle), closeEvent_(closeEvent), notifyWindow_(notifyWindow),
      inBufferSize_(inBufferSize), input_(gathering, inputLen) {}

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
  using Outcome = THeldInput::Outcome;
  if (!input_.Allocate(inBufferSize_)) {
    PostCommEvent(notifyWindow_, MsgRequestHangup);
    return;
  }
  const auto closing = [this] { return closeEvent_.IsSet(); };
  const auto post = [this](QByteArray block) { Post(std::move(block)); };

  haveCounters_ = ReadCounters(counters_);

  Outcome outcome;
  for (;;) {
    // Take everything the driver holds before sleeping again: bytes that came
    // in while no read was pending are waiting in its queue.
    const std::size_t heldBefore = input_.Held();
    outcome = input_.ReadAvailable(portHandle_, THeldInput::Until::Empty, closing, post);
    if (outcome != Outcome::Pending)
      break;

    std::chrono::microseconds wait{};
    const bool holding = input_.HoldTimeout(wait);
    if (holding && wait.count() == 0) {
      PostHeld(input_.Held());
      continue;
    }
    if (holding && input_.Held() > heldBefore && input_.RestDue(wait)) {
      // Its bytes come one by one: sleep until they should all be in and
      // take them with one read. Only a close request wakes the thread now.
      const timespec timeout = ToTimespec(wait);
      pollfd closeOnly = {closeEvent_.Fd(), POLLIN, 0};
      if (ppoll(&closeOnly, 1, &timeout, nullptr) > 0) {
        outcome = Outcome::Stopped;
        break;
      }
      continue;
    }
    // The close event comes first, so a close request wins over pending input.
    pollfd waitSet[2] = {{closeEvent_.Fd(), POLLIN, 0}, {portHandle_, POLLIN, 0}};
    const timespec timeout = ToTimespec(wait);
    const int ready = ppoll(waitSet, 2, holding ? &timeout : nullptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR)
        continue;
      outcome = Outcome::HangUp;
      break;
    }
    if (ready == 0) { // the line went quiet: what is held is whole
      PostHeld(input_.Held());
      continue;
    }
    if (waitSet[0].revents != 0) {
      outcome = Outcome::Stopped;
      break;
    }
    if (haveCounters_)
      ReportLineEvents();
    const short device = waitSet[1].revents;
    if (device & POLLNVAL) {
      outcome = Outcome::Stopped;
      break;
    }
    if (device & (POLLHUP | POLLERR)) {
      // The device is gone (adapter pulled out, other end of a pseudo-terminal
      // closed). Pass on what it still holds, then stop: polling again would
      // only report the hang-up again at once.
      outcome = input_.ReadAvailable(portHandle_, THeldInput::Until::Empty, closing, post);
      if (outcome == Outcome::Pending)
        outcome = Outcome::HangUp;
      break;
    }
  }

  if (outcome == Outcome::HangUp) {
    PostHeld(input_.Held()); // what came before the hang-up still counts
    PostCommEvent(notifyWindow_, MsgRequestHangup);
  }
  tcflush(portHandle_, TCIFLUSH);
}

void TReadThread::PostHeld(std::size_t count) {
  if (count != 0)
    Post(input_.Take(count));
}

void TReadThread::Post(QByteArray block) {
  const auto count = static_cast<std::uint32_t>(block.size());
  PostCommEvent(notifyWindow_, MsgReceiveData, count, std::move(block));
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
