// The tick of UpcSend: all traffic starts here. A tick first times the reply
// that is awaited; when none is, it starts at most one request.
#include "exchange/ExchangeEngine.h"

#include "exchange/ReplyCompletion.h"
#include "serial/TComm.h"

#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

void TExchangeEngine::Tick() {
  CommState &s = state_;

  // The scan period and the pause between sequence steps include the time
  // spent waiting for replies.
  if (s.ScanRunning || s.SequenceRunning)
    ++s.IntervalTicks;
  else
    s.IntervalTicks = 0;

  // After a time-out the line must be quiet first: for one reply window,
  // and until an answer as late as the drive may give has passed.
  if (s.QuietWindowPending && !s.WaitingReply) {
    AwaitQuietLine();
    // the tick that ends the quiet sends nothing, unless a control command
    // ended it
    if (s.QuietWindowPending || !s.ControlPending)
      return;
  }

  // Data that came unasked is timed like a reply, then checked.
  if (s.WaitingReply || !s.ReceiveBuffer.empty()) {
    ++s.WaitTicks;
    if ((s.WaitTicks - 1) * s.TickMs > TimeoutMs) {
      // nothing followed a reply held as a possible copy: it was the answer
      if (heldCopy_ > 0 && s.ReceiveBuffer.size() == heldCopy_)
        repeats_.StoodAlone();
      WaitHandler();
    }
    return;
  }
  StartNextRequest();
}

void TExchangeEngine::StartNextRequest() {
  CommState &s = state_;
  s.DataArrived = false;
  s.WaitTicks = 0;
  if (!LineSilent())
    return;
  // While the port is closed a request is refused at most once a reply
  // window, as it would have timed out; a control command is refused at once.
  if (port_ && !port_->PortOpen() && !s.ControlPending) {
    closedMs_ += s.TickMs;
    if (closedMs_ <= TimeoutMs)
      return;
  }
  closedMs_ = 0;

  // The request an echo probe went out before, or one asked again, is next.
  if (!resend_.empty()) {
    resending_ = true;
    SendFrame(std::exchange(resend_, {}));
    return;
  }

  // A sequence only advances while it is shown.
  if (sequenceShown_ && s.SequenceRunning) {
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
  const bool broadcast = machineIdBroadcast_;
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

double TExchangeEngine::InterFrameMs() const {
  constexpr double LeastMs = 1.75;
  const std::uint32_t baud = port_ ? port_->BaudRate() : 0;
  if (baud == 0)
    return LeastMs;
  return std::max(LeastMs, 3.5 * port_->CharacterBits() * 1000 / baud);
}

int TExchangeEngine::UnknownLengthSilenceMs() const {
  // Bytes the port already holds come after a silence of their own, so the
  // line's share is twice its silence.
  return std::max(2 * ReplyCompletion::SilenceMs(port_ ? port_->BaudRate() : 0),
                  ReplyCompletion::AdapterPacketGapMs);
}

bool TExchangeEngine::LineSilent() {
  // Judged at the end of its reply window, a reply is followed by a tick
  // before anything else goes out, longer than any silence the line needs,
  // and bytes in that tick are timed before a request can start.
  // A TCP stream has no silences to keep: each reply is told by its
  // transaction id.
  if (!completeOnReply_ || tcp_)
    return true;
  const double now = NowMs();
  double waitMs = InterFrameMs() - (now - lastByteMs_);
  // On a line that repeats replies the last reply's copy is waited for: it
  // must not come while the next request's answer is awaited.
  if (copyAwaited_)
    waitMs = std::max(waitMs, repeats_.LastEndMs() + repeats_.HoldMs() - now);
  if (waitMs <= 0 || (gateWaitSinceMs_ >= 0 && now - gateWaitSinceMs_ >= TimeoutMs)) {
    gateWaitSinceMs_ = -1;
    copyAwaited_ = false;
    return true;
  }
  if (gateWaitSinceMs_ < 0)
    gateWaitSinceMs_ = now;
  lineGate_->start(std::max(1, static_cast<int>(std::ceil(waitMs))));
  return false;
}

void TExchangeEngine::GateOpened() {
  const CommState &s = state_;
  // What came meanwhile is timed and judged by the tick first.
  if (s.WaitingReply || s.QuietWindowPending || !s.ReceiveBuffer.empty())
    return;
  if (Timer->isActive())
    Timer->start();
  StartNextRequest();
}
