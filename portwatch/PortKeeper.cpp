#include "portwatch/PortKeeper.h"

#include "serial/AcquiredPort.h"
#include "serial/TComm.h"

#include <QPointer>

#include <memory>

namespace {
// The system's reason for a failed open where it gave one, else what failed.
QString OpenFailure(const TComm &comm) {
  const QString reason = comm.PortOpenReason();
  return reason.isEmpty() ? comm.PortOpenError() : reason;
}
} // namespace

TPortKeeper::TPortKeeper(TComm *comm, QObject *parent) : QObject(parent), comm_(comm) {
  retry_.setInterval(RetryIntervalMs);
  connect(&retry_, &QTimer::timeout, this, &TPortKeeper::TryAgain);
  // The component may outlive the keeper (or go first, as children of one
  // window do): the hook asks whether the keeper is still there.
  comm_->OnRequestHangup = [keeper = QPointer<TPortKeeper>(this)](TComm *) {
    if (keeper)
      keeper->HangUp();
  };
}

// An attempt still under way ends within the connect time; its result is
// then dropped with the queued call and the descriptor closed.
TPortKeeper::~TPortKeeper() { JoinAttempt(); }

void TPortKeeper::JoinAttempt() {
  if (attempt_.joinable())
    attempt_.join();
}

void TPortKeeper::Forget() {
  ++generation_;
  retry_.stop();
  Enter(State::Closed, QString());
}

void TPortKeeper::Follow() {
  ++generation_;
  if (EnterIfOpen())
    return;
  Enter(State::Failed, OpenFailure(*comm_));
  retry_.start();
}

bool TPortKeeper::EnterIfOpen() {
  if (!comm_->PortOpen())
    return false;
  retry_.stop();
  Enter(State::Open, QString());
  return true;
}

TPortKeeper::State TPortKeeper::CurrentState() const {
  // The port may have been closed or opened directly on the component.
  if (comm_->PortOpen())
    return State::Open;
  return state_ == State::Open ? State::Closed : state_;
}

QString TPortKeeper::Text(bool full) const {
  const QString again = full ? QStringLiteral("; trying again every second") : QString();
  switch (CurrentState()) {
  case State::Open:
    if (!comm_->LineSettingsApply())
      return full ? QStringLiteral("port open; the line settings are made on the server, not here")
                  : QStringLiteral("port open, line settings on the server");
    if (!comm_->Rs485Error().isEmpty())
      return full ? QStringLiteral("port open; ") + comm_->Rs485Error()
                  : QStringLiteral("port open, RS-485 not supported");
    return comm_->Rs485Active() ? QStringLiteral("port open, RS-485") : QStringLiteral("port open");
  case State::Failed:
    return QStringLiteral("port failed: ") + reason_ + again;
  case State::Lost:
    if (!full)
      return lostOverTcp_ ? QStringLiteral("port closed: connection lost")
                          : QStringLiteral("port closed: device gone");
    return (lostOverTcp_ ? QStringLiteral("port closed: the server closed the connection")
                         : QStringLiteral("port closed: the device went away")) +
           (reason_.isEmpty() ? QString() : QStringLiteral(" (") + reason_ + ')') + again;
  case State::Closed:
    break;
  }
  return QStringLiteral("port closed");
}

void TPortKeeper::HangUp() {
  // Both port threads may report the same loss; the second finds the port
  // closed already.
  if (!comm_->PortOpen())
    return;
  lostOverTcp_ = !comm_->LineSettingsApply();
  // The component's threads have ended or are ending; closing releases the
  // device so that the node can go and come back.
  comm_->ClosePort();
  ++generation_;
  Enter(State::Lost, QString());
  retry_.start();
}

void TPortKeeper::TryAgain() {
  if (attempting_ || EnterIfOpen())
    return;
  JoinAttempt(); // the previous attempt has reported, so it has ended
  attempting_ = true;
  const std::uint64_t generation = generation_;
  const QString name = comm_->CommName();
  const int timeout = comm_->TcpConnectTimeout();
  attempt_ = std::thread([this, generation, name, timeout] {
    // shared: the queued call may be copied, and a call never delivered
    // (the keeper gone) must still close the descriptor
    auto port = std::make_shared<TAcquiredPort>(TAcquiredPort::Acquire(name, timeout));
    QMetaObject::invokeMethod(
        this, [this, generation, port] { Attempted(generation, *port); }, Qt::QueuedConnection);
  });
}

void TPortKeeper::Attempted(std::uint64_t generation, TAcquiredPort &port) {
  attempting_ = false;
  if (generation != generation_ || comm_->PortOpen())
    return; // the settings took over meanwhile; the descriptor is closed
  comm_->OpenPort(std::move(port));
  if (!EnterIfOpen())
    Enter(state_, OpenFailure(*comm_));
}

void TPortKeeper::Enter(State state, const QString &reason) {
  if (state == state_ && reason == reason_)
    return;
  state_ = state;
  reason_ = reason;
  emit StateChanged();
}
