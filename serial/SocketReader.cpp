#include "serial/SocketReader.h"

#include <chrono>

TSocketReader::TSocketReader(int socket, const TInputGathering &gathering, std::uint16_t inputLen,
                             QObject *parent)
    : QObject(parent), socket_(socket), input_(gathering, inputLen),
      notifier_(socket, QSocketNotifier::Read) {
  notifier_.setEnabled(false);
  holdTimer_.setSingleShot(true);
  holdTimer_.setTimerType(Qt::PreciseTimer);
  connect(&notifier_, &QSocketNotifier::activated, this, &TSocketReader::ReadReady);
  connect(&holdTimer_, &QTimer::timeout, this, &TSocketReader::HandOverHeld);
}

bool TSocketReader::Start(std::uint16_t bufferSize, std::function<void(QByteArray)> handOver,
                          std::function<void()> hangUp) {
  if (!input_.Allocate(bufferSize))
    return false;
  handOver_ = std::move(handOver);
  hangUp_ = std::move(hangUp);
  notifier_.setEnabled(true);
  return true;
}

void TSocketReader::Retire() {
  retired_ = true;
  notifier_.setEnabled(false);
  holdTimer_.stop();
  deleteLater();
}

void TSocketReader::ReadReady() {
  holdTimer_.stop();
  const auto outcome = input_.ReadAvailable(
      socket_, THeldInput::Until::WholeBlock, [this] { return retired_; }, handOver_);
  if (retired_)
    return;
  if (outcome != THeldInput::Outcome::Pending) {
    // The server closed the connection (or it failed): what came before it
    // still counts, and the socket would only report the same again.
    notifier_.setEnabled(false);
    HandOverHeld();
    if (!retired_)
      hangUp_();
    return;
  }
  std::chrono::microseconds wait{};
  if (!input_.HoldTimeout(wait))
    return;
  if (wait.count() == 0) {
    HandOverHeld();
    return;
  }
  // Whole milliseconds, rounded up: a block is never cut before its gap.
  holdTimer_.start(static_cast<int>((wait.count() + 999) / 1000));
}

void TSocketReader::HandOverHeld() {
  if (input_.Held() != 0 && !retired_)
    handOver_(input_.Take(input_.Held()));
}
