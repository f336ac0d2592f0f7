#include "serial/WriteThread.h"

#include "serial/CloseEvent.h"
#include "serial/CommEvents.h"

#include <cerrno>
#include <cstdint>
#include <system_error>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
bool IsSocket(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode);
}
} // namespace

TWriteThread::TWriteThread(int portHandle, TCloseEvent &closeEvent, QObject *notifyWindow, bool reportEmpty)
    : portHandle_(portHandle), portIsSocket_(IsSocket(portHandle)), closeEvent_(closeEvent),
      notifyWindow_(notifyWindow), reportEmpty_(reportEmpty) {}

TWriteThread::~TWriteThread() {
  Join();
  if (wakeFd_ >= 0)
    close(wakeFd_);
}

bool TWriteThread::Start() {
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0)
    return false;
  {
    std::lock_guard lock(mutex_);
    accepting_ = true;
  }
  try {
    thread_ = std::thread([this] { Execute(); });
  } catch (const std::system_error &) {
    std::lock_guard lock(mutex_);
    accepting_ = false;
    return false;
  }
  return true;
}

void TWriteThread::Join() {
  if (thread_.joinable())
    thread_.join();
}

bool TWriteThread::Queue(QByteArray block) {
  {
    std::lock_guard lock(mutex_);
    if (!accepting_)
      return false;
    // With nothing ahead of it, a block the driver takes whole at once is
    // written from here: a request then costs no wake-up of the thread. The
    // thread keeps whatever would wait (a full output queue, a part left
    // over) and every error; nobody waits for the queue to run empty then.
    if (queue_.empty() && !writing_ && !reportEmpty_ && !closeEvent_.IsSet()) {
      const ssize_t written = WriteSome(block.constData(), static_cast<size_t>(block.size()));
      if (written == block.size())
        return true;
      if (written > 0)
        block.remove(0, written);
    }
    queue_.push_back(std::move(block));
  }
  const std::uint64_t one = 1;
  ssize_t written;
  do {
    written = write(wakeFd_, &one, sizeof one);
  } while (written < 0 && errno == EINTR);
  return true;
}

bool TWriteThread::TakeNext(QByteArray &block) {
  std::lock_guard lock(mutex_);
  writing_ = !queue_.empty();
  if (!writing_)
    return false;
  block = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

void TWriteThread::Execute() {
  bool reportEmpty = reportEmpty_;
  Outcome outcome = Outcome::Done;
  for (;;) {
    QByteArray block;
    if (!TakeNext(block)) {
      if (reportEmpty) {
        PostCommEvent(notifyWindow_, MsgSendDataEmpty);
        reportEmpty = false;
      }
      outcome = WaitForWork();
      if (outcome != Outcome::Done)
        break;
      continue;
    }
    if (closeEvent_.IsSet()) {
      outcome = Outcome::EndQuietly;
      break;
    }
    outcome = WriteBlock(block);
    if (outcome != Outcome::Done)
      break;
    reportEmpty = reportEmpty_;
  }
  Finish();
  if (outcome == Outcome::HangUp)
    PostCommEvent(notifyWindow_, MsgRequestHangup);
}

TWriteThread::Outcome TWriteThread::SleepUntil(int fd, short events, short &revents) {
  for (;;) {
    pollfd waitSet[2] = {{closeEvent_.Fd(), POLLIN, 0}, {fd, events, 0}};
    if (poll(waitSet, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      return Outcome::HangUp;
    }
    // The close event comes first: a close request wins over everything else.
    if (waitSet[0].revents != 0)
      return Outcome::EndQuietly;
    revents = waitSet[1].revents;
    return Outcome::Done;
  }
}

TWriteThread::Outcome TWriteThread::WaitForWork() {
  short revents = 0;
  const Outcome woken = SleepUntil(wakeFd_, POLLIN, revents);
  if (woken != Outcome::Done)
    return woken;
  if (!(revents & POLLIN))
    return Outcome::HangUp;
  // Reset the wake-up counter; the queue itself says what is to do.
  std::uint64_t count;
  while (read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
  }
  return Outcome::Done;
}

ssize_t TWriteThread::WriteSome(const char *data, size_t size) const {
  // The descriptor never blocks: what the driver cannot take now is left.
  return portIsSocket_ ? send(portHandle_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT)
                       : write(portHandle_, data, size);
}

TWriteThread::Outcome TWriteThread::WriteBlock(const QByteArray &block) {
  const char *next = block.constData();
  qsizetype remaining = block.size();
  while (remaining > 0) {
    const auto size = static_cast<size_t>(remaining);
    const ssize_t written = WriteSome(next, size);
    if (written > 0) {
      next += written;
      remaining -= written;
      continue;
    }
    if (written < 0 && errno == EINTR)
      continue;
    if (written < 0 && errno == EBADF)
      return Outcome::EndQuietly;
    if (written < 0 && errno != EAGAIN)
      return Outcome::HangUp;

    // The driver's output queue is full: sleep until it drains or we are
    // told to close.
    short revents = 0;
    const Outcome woken = SleepUntil(portHandle_, POLLOUT, revents);
    if (woken != Outcome::Done)
      return woken;
    if (revents & POLLNVAL)
      return Outcome::EndQuietly;
    if (revents & (POLLHUP | POLLERR))
      return Outcome::HangUp;
  }
  return Outcome::Done;
}

void TWriteThread::Finish() {
  {
    std::lock_guard lock(mutex_);
    accepting_ = false;
    queue_.clear();
  }
  // Whatever the driver still holds for the line is abandoned with the thread.
  tcflush(portHandle_, TCOFLUSH);
}
