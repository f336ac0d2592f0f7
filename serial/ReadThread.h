#pragma once

#include "serial/LineEvents.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <thread>

class QObject;
class TCloseEvent;
struct TInputGathering;

// Takes the incoming bytes and line events of an open port and posts them to
// the component's notifier. It always has a read pending: it sleeps in poll()
// on the device and the close event, never on a timer. Each read asks for up
// to `inputLen` bytes and each read's bytes travel as their own notification.
class TReadThread {
public:
  TReadThread(int portHandle, TCloseEvent &closeEvent, QObject *notifyWindow, std::uint16_t inputLen,
              std::uint16_t inBufferSize, const TInputGathering &gathering);
  ~TReadThread();
  TReadThread(const TReadThread &) = delete;
  TReadThread &operator=(const TReadThread &) = delete;

  // Starts the thread; false when the system could not create it.
  bool Start();
  // Waits for the thread to end (after the close event is set or after it has
  // hung up on its own).
  void Join();

private:
  enum class Outcome { Pending, EndQuietly, HangUp };

  void Execute();
  using Clock = std::chrono::steady_clock;

  Outcome ReadAvailable(char *buffer, std::size_t bufferSize, std::uint16_t readSize);
  // The bytes held that are the whole of what is awaited (0: not yet), the
  // last `got` of them just read.
  std::size_t AwaitedEnd(const char *buffer, std::size_t got) const;
  // How many bytes are held when what is awaited is in, or when the byte
  // that tells its length is (0: not known).
  std::size_t AwaitedLength(const char *buffer) const;
  // How long poll() may sleep: for ever with nothing held, else until the
  // gap or the hold limit ends (zero: post what is held now).
  bool HoldTimeout(timespec &timeout) const;
  // How long to sleep while the rest of what is awaited is still on the
  // line; false when nothing known is due.
  bool RestDue(const char *buffer, timespec &timeout) const;
  // Posts the first `count` held bytes; the rest stays held.
  void PostHeld(char *buffer, std::size_t count);
  bool ReadCounters(TLineCounters &counters) const;
  void ReportLineEvents();

  int portHandle_;
  TCloseEvent &closeEvent_;
  QObject *notifyWindow_;
  std::uint16_t inputLen_;
  std::uint16_t inBufferSize_;
  const TInputGathering &gathering_;
  std::thread thread_;

  // Bytes read and not posted yet, at the start of the buffer, and when the
  // first of them came.
  std::size_t held_ = 0;
  Clock::time_point heldSince_;

  // Last seen driver counters, for telling which line events happened. A
  // pseudo-terminal keeps none.
  bool haveCounters_ = false;
  TLineCounters counters_;
};
