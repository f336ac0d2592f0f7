// The tick of UpcSend: all traffic starts here. A tick first times the reply
// that is awaited; when none is, it starts at most one request.
#include "exchange/ExchangeEngine.h"

namespace {
constexpr int UserDefineTab = 2;
} // namespace

void TExchangeEngine::Tick() {
  CommState &s = State;

  // The scan period and the pause between sequence steps include the time
  // spent waiting for replies.
  if (s.ScanRunning || s.SequenceRunning)
    ++s.IntervalTicks;
  else
    s.IntervalTicks = 0;

  // After a time-out the line must be quiet for one reply window first.
  if (s.QuietWindowPending && !s.WaitingReply) {
    AwaitQuietLine();
    return;
  }

  // Data that came unasked is timed like a reply, then checked.
  if (s.WaitingReply || !s.ReceiveBuffer.empty()) {
    ++s.WaitTicks;
    if ((s.WaitTicks - 1) * s.TickMs > s.TimeoutMs)
      WaitHandler();
    return;
  }
  StartNextRequest();
}

void TExchangeEngine::StartNextRequest() {
  CommState &s = State;
  s.DataArrived = false;
  s.WaitTicks = 0;

  // A sequence only advances while its tab is shown.
  if (activeTab_ == UserDefineTab && s.SequenceRunning) {
    if (s.StopRequested)
      steps_->StopSequence();
    else
      steps_->SequenceStep();
    return;
  }

  // Read all and write all prepare their request here so that it goes out
  // in this same tick unless a command is pending.
  if (s.ReadAllActive && steps_->ParameterRecordCount() >= s.ReadAllIndex)
    steps_->ReadAllStep();
  if (s.WriteAllActive && steps_->ParameterRecordCount() != s.WriteAllIndex) {
    if (!steps_->WriteAllStep())
      return;
  }

  // Reads are never broadcast: one stays pending while the address is 0.
  const bool broadcast = machineId_ == "0";
  if (s.ControlPending) {
    s.ControlPending = false;
    SendFrame(s.ControlFrame);
  } else if (s.UserCmdPending) {
    s.UserCmdPending = false;
    SendFrame(s.UserCmdFrame);
    // a broadcast is not answered, so nothing is left waiting for its reply
    s.UserCmdAwaitingReply = s.WaitingReply;
  } else if (s.ReadPending && !broadcast) {
    // cleared first: a request that raises must not raise again every tick
    s.ReadPending = false;
    SendFrame(s.ReadFrame);
  } else if (s.ModifyPending) {
    s.ModifyPending = false;
    SendFrame(s.ModifyFrame);
  } else if (s.ScanRunning && s.IntervalTicks * s.TickMs >= s.ScanPeriodMs && !broadcast &&
             steps_->ScanAddressReady()) {
    s.IntervalTicks = 0;
    if (seriesScan_)
      steps_->SeriesScanStep();
    if (arbitraryScan_)
      steps_->ArbitraryScanStep();
  }
}
