#pragma once

#include <QByteArray>

#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

#include <sys/types.h>

class QObject;
class TCloseEvent;

// Writes the blocks handed over by Queue() to an open port, whole and in the
// order they were queued. It sleeps until a block arrives or the close event
// is set, and while the device cannot take more it sleeps in poll() until it
// can. When asked to, it posts MsgSendDataEmpty each time its queue runs
// empty after writing (and once at start).
class TWriteThread {
public:
  TWriteThread(int portHandle, TCloseEvent &closeEvent, QObject *notifyWindow, bool reportEmpty);
  ~TWriteThread();
  TWriteThread(const TWriteThread &) = delete;
  TWriteThread &operator=(const TWriteThread &) = delete;

  // Starts the thread; false when the system could not create it.
  bool Start();
  void Join();

  // Hands a block to the thread without waiting (or writes it at once when
  // the driver takes it whole and nothing is ahead of it); false once the
  // thread has ended (closed or hung up), in which case the block is dropped.
  bool Queue(QByteArray block);

private:
  enum class Outcome { Done, EndQuietly, HangUp };

  void Execute();
  Outcome WriteBlock(const QByteArray &block);
  // One write() (send() on a socket) of up to `size` bytes; what it returned.
  ssize_t WriteSome(const char *data, size_t size) const;
  Outcome WaitForWork();
  // Sleeps until the close event is set (EndQuietly) or `fd` reports one of
  // `events` (Done, with what it reported in `revents`).
  Outcome SleepUntil(int fd, short events, short &revents);
  bool TakeNext(QByteArray &block);
  void Finish();

  int portHandle_;
  // A TCP serial server's socket: written with send(), which reports a
  // connection the far end has closed as an error instead of a SIGPIPE that
  // would end the whole program.
  bool portIsSocket_;
  TCloseEvent &closeEvent_;
  QObject *notifyWindow_;
  bool reportEmpty_;
  std::thread thread_;

  // Queue hand-over: the main thread appends and bumps wakeFd_, the writer
  // takes from the front. Blocks left at the end are released with the object.
  std::mutex mutex_;
  std::deque<QByteArray> queue_;
  bool writing_ = false; // a block taken from the queue is being written
  bool accepting_ = false;
  int wakeFd_ = -1;
};
