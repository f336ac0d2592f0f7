#include "exchange/ExchangeEngine.h"

#include "serial/TComm.h"

#include <QTimer>

TExchangeEngine::TExchangeEngine(QObject *parent)
    : QObject(parent), Timer(new QTimer(this)), silence_(new QTimer(this)), lineGate_(new QTimer(this)) {
  Timer->setObjectName(QStringLiteral("UpcSend"));
  // ticks keep their length: reply windows and scan periods count them
  Timer->setTimerType(Qt::PreciseTimer);
  Timer->setInterval(State.TickMs);
  connect(Timer, &QTimer::timeout, this, [this] { Tick(); });
  silence_->setSingleShot(true);
  silence_->setTimerType(Qt::PreciseTimer);
  connect(silence_, &QTimer::timeout, this, [this] { SilenceEnded(); });
  lineGate_->setSingleShot(true);
  lineGate_->setTimerType(Qt::PreciseTimer);
  connect(lineGate_, &QTimer::timeout, this, [this] { GateOpened(); });
  clock_.start();
}

void TExchangeEngine::SetSteps(ExchangeSteps *steps) { steps_ = steps ? steps : &defaultSteps_; }

void TExchangeEngine::SetScanKind(bool series, bool arbitrary) {
  seriesScan_ = series;
  arbitraryScan_ = arbitrary;
}

void TExchangeEngine::SetCompleteOnReply(bool on) {
  completeOnReply_ = on;
  if (!on) {
    silence_->stop();
    lineGate_->stop();
  }
  // A reply of 17 bytes is one wake-up of this thread instead of 17, which
  // at line rate is most of what receiving costs: the port hands over all it
  // holds, and holds what comes until the awaited reply is in (SendFrame
  // says what completes it). ReceiveData still takes the bytes one by one
  // while a reply is awaited.
  if (port_) {
    port_->SetInputLen(on ? 0 : 1);
    port_->SetGatherInput(on);
  }
}

void TExchangeEngine::ForgetLine() {
  lateness_.Forget();
  State.ReceiveBuffer.clear();
  State.ReceivedChunk.clear();
  State.ReceivedBeyondLimit = 0;
  State.DataArrived = false;
  State.QuietWindowPending = false;
  gateWaitSinceMs_ = -1;
}

void TExchangeEngine::ClearCounters() {
  State.TotalRecords = 0;
  State.TimeoutRecords = 0;
  State.ErrorRecords = 0;
  emit CountersChanged();
}
