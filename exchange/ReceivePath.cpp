// The receive path: bytes from the port collect in the receive buffer; when
// the reply window has passed, or as soon as the reply is complete when so
// chosen, the buffer is judged as no response, an error reply or an accepted
// reply, and an accepted reply goes to the one consumer that asked for it.
#include "exchange/ExchangeEngine.h"

#include "exchange/ReplyCompletion.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"
#include "protocol/ReceiveLimit.h"
#include "protocol/ReplyCheck.h"
#include "serial/TComm.h"

#include <QTimer>
#include <algorithm>

namespace {
const char *const ReplyMark = "  ----- R >   ";
const char *const NoResponseMark = "  -----> No response!   ";
const char *const LateReplyMark = "  ----- Late reply, not taken >   ";

// Keeps the first bytes of a reply that fit ReplyBytes; the rest of the
// array is zeroed so that no consumer reads a byte of an earlier reply.
void StoreReplyBytes(CommState &state, const std::vector<std::uint8_t> &bytes) {
  state.ReplyBytes.fill(0);
  std::copy_n(bytes.begin(), std::min(bytes.size(), state.ReplyBytes.size()), state.ReplyBytes.begin());
}

void ClearReceived(CommState &state) {
  state.ReceiveBuffer.clear();
  state.ReceivedChunk.clear();
  state.ReceivedBeyondLimit = 0;
}
} // namespace

void TExchangeEngine::ReceiveData(const char *buffer, unsigned length) {
  // While a reply is awaited and judged as soon as it is complete, a block
  // from the port goes in byte by byte: the reply is judged at its own last
  // byte, and what follows it in the block is what came after it, as when
  // the port hands over one byte at a time.
  unsigned taken = 0;
  while (completeOnReply_ && State.WaitingReply && length - taken > 1)
    ReceivePiece(buffer + taken++, 1);
  ReceivePiece(buffer + taken, length - taken);
}

void TExchangeEngine::ReceivePiece(const char *buffer, unsigned length) {
  // an empty piece carries nothing and must not pass for a reply
  if (length == 0)
    return;
  // Only what a reply can hold is kept; noise beyond it is only counted.
  const bool rtu = IsRtuMode();
  const std::size_t held = rtu ? State.ReceiveBuffer.size() / 2 : State.ReceiveBuffer.size();
  const std::size_t kept = ReceiveLimit::Kept(held, length);
  State.ReceivedBeyondLimit += length - kept;
  if (rtu)
    State.ReceivedChunk = BytesToHex(reinterpret_cast<const std::uint8_t *>(buffer), kept);
  else
    State.ReceivedChunk.assign(buffer, kept);
  State.ReceivedCount += static_cast<int>(kept);
  State.ReceiveBuffer += State.ReceivedChunk;
  State.DataArrived = true;
  if (completeOnReply_ && State.WaitingReply)
    CheckReplyComplete();
}

void TExchangeEngine::WaitHandler() {
  CommState &s = State;
  if (s.DataArrived) {
    s.DataArrived = false;
    if (!s.WaitingReply)
      ++s.UnsolicitedReceptions;
    try {
      if (s.ReceivedBeyondLimit > 0) {
        // longer than any reply: an error, shown cut with what was left out
        s.ReplyText = s.ReceiveBuffer + ReceiveLimit::CutNote(s.ReceivedBeyondLimit);
        ErrorReply();
      } else if (IsRtuMode()) {
        s.ReplyText = s.ReceiveBuffer;
        s.ReplyBody = s.ReplyText;
        StoreReplyBytes(s, HexTextToBytes(s.ReplyText));
        ProcessReply();
      } else {
        AssembleAsciiReply(s.ReceiveBuffer);
      }
    } catch (...) {
      // a consumer that fails must not leave the exchange open forever
      ClearReceived(s);
      s.ReceivedCount = 0;
      s.WaitingReply = false;
      throw;
    }
    ClearReceived(s);
    return;
  }

  emit LineCompleted(NoResponseMark, false);
  ClearReceived(s);
  s.WaitTicks = 0;
  s.DataArrived = false;
  // The user's command that got no answer no longer waits: the next reply
  // belongs to whatever asks next.
  s.UserCmdAwaitingReply = false;
  ++s.TimeoutRecords;
  emit CountersChanged();
  s.WaitingReply = false;
  s.QuietWindowPending = true;
  s.QuietTicks = 0;
  emit ReplyMissing(s.SequenceAwaitingReply);
}

void TExchangeEngine::AwaitQuietLine() {
  CommState &s = State;
  if (s.DataArrived) { // a reply still coming in: wait for its end
    s.DataArrived = false;
    s.QuietTicks = 0;
    return;
  }
  if (!s.ReceiveBuffer.empty()) {
    // A function 03 reply names no register, so it could pass for the answer
    // of the next read: it is only logged.
    const std::string text = IsRtuMode() ? s.ReceiveBuffer : SplitAsciiReply(s.ReceiveBuffer).text;
    emit LateReplyLogged(QString::fromStdString(FormatTimeStamp(CurrentLocalTime())) + LateReplyMark +
                         QString::fromStdString(text));
    ++s.LateReplies;
    ++s.UnsolicitedReceptions;
    ClearReceived(s);
    s.ReceivedCount = 0;
    s.QuietTicks = 0;
    return;
  }
  if (++s.QuietTicks * s.TickMs > s.TimeoutMs) {
    s.QuietWindowPending = false;
    s.QuietTicks = 0;
  }
}

void TExchangeEngine::AssembleAsciiReply(const std::string &text) {
  const AsciiReply reply = SplitAsciiReply(text);
  State.ReplyBody = reply.body;
  State.ReplyText = reply.text;
  if (!reply.wellFormed) {
    ErrorReply();
    return;
  }
  StoreReplyBytes(State, reply.bytes);
  ProcessReply();
}

void TExchangeEngine::ProcessReply() {
  CommState &s = State;
  if (CheckReply(s.ReplyBody, s.LastSentFrame, IsRtuMode()) != ReplyFault::None) {
    ErrorReply();
    return;
  }
  emit LineCompleted(ReplyMark + QString::fromStdString(s.ReplyText), true);
  emit ReplyAccepted();
  ++s.AcceptedReplies;

  if (s.UserCmdAwaitingReply) {
    s.UserCmdAwaitingReply = false; // the user's own request is only logged
  } else if (s.SequenceAwaitingReply) {
    emit SequenceReply();
  } else {
    const ReplyConsumer consumer = ConsumerOfReply(s.ReplyBytes[1], s.LastSentFrame);
    if (consumer != ReplyConsumer::None)
      emit ReplyDispatched(consumer);
  }
  s.WaitingReply = false;
  s.ReceivedCount = 0;
}

void TExchangeEngine::ErrorReply() {
  CommState &s = State;
  ++s.ErrorRecords;
  emit CountersChanged();
  emit LineCompleted(ReplyMark + QString::fromStdString(s.ReplyText), false);
  s.ReceivedCount = 0;
  ClearReceived(s);
  const bool sequenceStep = s.SequenceAwaitingReply;
  s.SequenceAwaitingReply = false;
  s.UserCmdAwaitingReply = false;
  s.WaitingReply = false;
  emit ReplyRejected(QString::fromStdString(s.ReplyText), sequenceStep);
}

// ---- handling a reply the moment it is complete ------------------------------

void TExchangeEngine::CheckReplyComplete() {
  const ReplyCompletion::Extent extent =
      IsRtuMode() ? ReplyCompletion::RtuExtent(State.ReceiveBuffer, State.LastSentFrame)
                  : ReplyCompletion::AsciiExtent(State.ReceiveBuffer);
  switch (extent.state) {
  case ReplyCompletion::State::Complete:
    silence_->stop();
    JudgeCompleteReply(extent.length);
    break;
  case ReplyCompletion::State::UnknownLength:
    silence_->start(ReplyCompletion::SilenceMs(port_ ? port_->BaudRate() : 0));
    break;
  case ReplyCompletion::State::Incomplete:
    break;
  }
}

void TExchangeEngine::SilenceEnded() {
  if (completeOnReply_ && State.WaitingReply && !State.ReceiveBuffer.empty())
    JudgeCompleteReply(State.ReceiveBuffer.size());
}

void TExchangeEngine::JudgeCompleteReply(std::size_t length) {
  CommState &s = State;
  std::string rest = s.ReceiveBuffer.substr(length);
  s.ReceiveBuffer.resize(length);
  const int restBytes = static_cast<int>(IsRtuMode() ? rest.size() / 2 : rest.size());
  s.ReceivedCount -= restBytes;
  WaitHandler();
  // What came after the reply is timed and judged as data nobody asked for.
  s.ReceiveBuffer = std::move(rest);
  s.ReceivedCount = restBytes;
  s.DataArrived = !s.ReceiveBuffer.empty();
  s.WaitTicks = 0;
  if (s.WaitingReply || !s.ReceiveBuffer.empty())
    return;
  // The next step now rather than at the next tick, which then counts from
  // here (a stopped timer, as while the port is set up, stays stopped).
  if (Timer->isActive())
    Timer->start();
  StartNextRequest();
}
