#pragma once

#include "serial/HeldInput.h"
#include "serial/LineEvents.h"

#include <cstddef>
#include <cstdint>
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
  void Execute();
  // Posts the first `count` held bytes; the rest stays held.
  void PostHeld(std::size_t count);
  void Post(QByteArray block);
  bool ReadCounters(TLineCounters &counters) const;
  void ReportLineEvents();

  int portHandle_;
  TCloseEvent &closeEvent_;
  QObject *notifyWindow_;
  std::uint16_t inBufferSize_;
  THeldInput input_;
  std::thread thread_;

  // Last seen driver counters, for telling which line events happened. A
  // pseudo-terminal keeps none.
  bool haveCounters_ = false;
  TLineCounters counters_;
};
