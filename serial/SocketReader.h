#pragma once

#include "serial/HeldInput.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <functional>

struct TInputGathering;

// Takes the incoming bytes of a TCP serial server's socket on the creating
// thread, where a reply is handled: a socket needs no thread to wait on it,
// and a reply that comes through none costs no wake-up of another thread.
// Bytes are bundled as the reader thread bundles them (TInputGathering) and
// handed over at once; a connection the server closes is reported once,
// after what came before it.
class TSocketReader : public QObject {
public:
  TSocketReader(int socket, const TInputGathering &gathering, std::uint16_t inputLen, QObject *parent);

  // Starts reading; false when there is no memory for the buffer.
  bool Start(std::uint16_t bufferSize, std::function<void(QByteArray)> handOver,
             std::function<void()> hangUp);
  // Stops reading for good and lets the object go at the next return to the
  // event loop: the caller may be one of its own hand-overs.
  void Retire();

private:
  void ReadReady();
  void HandOverHeld();

  int socket_;
  THeldInput input_;
  QSocketNotifier notifier_;
  QTimer holdTimer_; // the gap or the hold limit of bytes held
  std::function<void(QByteArray)> handOver_;
  std::function<void()> hangUp_;
  bool retired_ = false;
};
