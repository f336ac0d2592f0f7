#include "exchange/ExchangeEngine.h"

#include "serial/TComm.h"

#include <QTimer>
#include <utility>

TExchangeEngine::TExchangeEngine(QObject *parent)
    : QObject(parent), Timer(new QTimer(this)), Journal(new ExchangeJournal(this)),
      silence_(new QTimer(this)), lineGate_(new QTimer(this)) {
  Timer->setObjectName(QStringLiteral("UpcSend"));
  // ticks keep their length: reply windows and scan periods count them
  Timer->setTimerType(Qt::PreciseTimer);
  Timer->setInterval(state_.TickMs);
  connect(Timer, &QTimer::timeout, this, [this] { Tick(); });
  silence_->setSingleShot(true);
  silence_->setTimerType(Qt::PreciseTimer);
  connect(silence_, &QTimer::timeout, this, [this] { SilenceEnded(); });
  lineGate_->setSingleShot(true);
  lineGate_->setTimerType(Qt::PreciseTimer);
  connect(lineGate_, &QTimer::timeout, this, [this] { GateOpened(); });
  clock_.start();
}

// The echo probe, and an exchange the engine asks again, are its own: they
// are shown and logged, but nobody who decides what goes out next awaits them.
void TExchangeEngine::TellStarted(const ExchangeRecord &record) {
  if (!probing_)
    emit ExchangeStarted(record);
  Journal->Tell(ExchangeRecord(record), false); // the engine keeps its own while the reply is awaited
}

void TExchangeEngine::TellEnded(ExchangeRecord &&record) {
  if ((!probing_ && !reasking_) || !record.awaited)
    emit ExchangeEnded(record);
  Journal->Tell(std::move(record), true);
}

void TExchangeEngine::SetTickMs(int ms) {
  state_.TickMs = ms;
  Timer->setInterval(ms);
}

void TExchangeEngine::QueueControl(const std::string &body) {
  state_.ControlFrame = body;
  state_.ControlPending = true;
}

void TExchangeEngine::QueueUserCommand(const std::string &body) {
  state_.UserCmdFrame = body;
  state_.UserCmdPending = true;
}

void TExchangeEngine::QueueRead(const std::string &body) {
  state_.ReadFrame = body;
  state_.ReadPending = true;
}

void TExchangeEngine::QueueModify(const std::string &body) {
  state_.ModifyFrame = body;
  state_.ModifyPending = true;
}

void TExchangeEngine::DropQueuedReadAndModify() {
  state_.ReadPending = false;
  state_.ModifyPending = false;
}

void TExchangeEngine::SetScanRunning(bool running) { state_.ScanRunning = running; }

void TExchangeEngine::SetScanPeriodMs(int ms) { state_.ScanPeriodMs = ms; }

void TExchangeEngine::SetSequenceRunning(bool running) { state_.SequenceRunning = running; }

void TExchangeEngine::SetSequenceStopRequested(bool requested) { state_.StopRequested = requested; }

void TExchangeEngine::SetSequenceAwaitingReply(bool awaiting) { state_.SequenceAwaitingReply = awaiting; }

void TExchangeEngine::SetParameterRun(bool readAll, int readIndex, bool writeAll, int writeIndex) {
  state_.ReadAllActive = readAll;
  state_.ReadAllIndex = readIndex;
  state_.WriteAllActive = writeAll;
  state_.WriteAllIndex = writeIndex;
}

void TExchangeEngine::RestartInterval() { state_.IntervalTicks = 0; }

void TExchangeEngine::RestartReplyWait() { state_.WaitTicks = 0; }

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
  repeats_.Forget();
  copyAwaited_ = false;
  heldCopy_ = 0;
  refuseAsCopy_ = false;
  resend_.clear(); // a request asked again belongs to the line it was asked on
  reasked_ = 0;
  copyLearnt_ = false;
  echo_.Forget();
  state_.ReceiveBuffer.clear();
  state_.ReceivedChunk.clear();
  state_.ReceivedBeyondLimit = 0;
  state_.DataArrived = false;
  state_.QuietWindowPending = false;
  gateWaitSinceMs_ = -1;
}

void TExchangeEngine::ClearCounters() {
  state_.TotalRecords = 0;
  state_.TimeoutRecords = 0;
  state_.ErrorRecords = 0;
  emit CountersChanged();
}
