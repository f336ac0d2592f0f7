#include "exchange/ExchangeEngine.h"

#include <QTimer>

TExchangeEngine::TExchangeEngine(QObject *parent)
    : QObject(parent), Timer(new QTimer(this)), silence_(new QTimer(this)) {
  Timer->setObjectName(QStringLiteral("UpcSend"));
  // ticks keep their length: reply windows and scan periods count them
  Timer->setTimerType(Qt::PreciseTimer);
  Timer->setInterval(State.TickMs);
  connect(Timer, &QTimer::timeout, this, [this] { Tick(); });
  silence_->setSingleShot(true);
  silence_->setTimerType(Qt::PreciseTimer);
  connect(silence_, &QTimer::timeout, this, [this] { SilenceEnded(); });
}

void TExchangeEngine::SetSteps(ExchangeSteps *steps) { steps_ = steps ? steps : &defaultSteps_; }

void TExchangeEngine::SetScanKind(bool series, bool arbitrary) {
  seriesScan_ = series;
  arbitraryScan_ = arbitrary;
}

void TExchangeEngine::SetCompleteOnReply(bool on) {
  completeOnReply_ = on;
  if (!on)
    silence_->stop();
}

void TExchangeEngine::ClearCounters() {
  State.TotalRecords = 0;
  State.TimeoutRecords = 0;
  State.ErrorRecords = 0;
  emit CountersChanged();
}
