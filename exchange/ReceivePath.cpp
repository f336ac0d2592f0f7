// The receive path: bytes from the port collect in the receive buffer; when
// the reply window has passed, or as soon as the reply is complete when so
// chosen, the buffer is judged as no response, an error reply or an accepted
// reply, and an accepted reply goes to the one consumer that asked for it.
// What comes while no request awaits a reply is nobody's answer: it is
// logged and judged, never dispatched.
#include "exchange/ExchangeEngine.h"

#include "exchange/ReplyCompletion.h"
#include "protocol/ConvertError.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"
#include "protocol/ReceiveLimit.h"
#include "protocol/ReplyCheck.h"
#include "protocol/TcpFrames.h"
#include "serial/TComm.h"

#include <QTimer>
#include <algorithm>
#include <optional>
#include <utility>

namespace {
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

// An ASCII receiver starts a frame again at every ':': what came before the
// last one ahead of the frame's end was noise.
std::string FromLastColon(const std::string &text) {
  const std::size_t end = text.find("\r\n");
  const std::size_t colon = text.rfind(':', end == std::string::npos ? std::string::npos : end);
  return colon == std::string::npos || colon == 0 ? text : text.substr(colon);
}

// The bytes of a reply body; none when it is not hex text (a malformed
// ASCII reply).
std::vector<std::uint8_t> BytesOfBody(const std::string &body) {
  try {
    return HexTextToBytes(body);
  } catch (const EConvertError &) {
    return {};
  }
}

// An accepted read's first register and words; a write's register and value.
void ReadRegisters(ExchangeRecord &record) {
  const std::vector<std::uint8_t> &bytes = record.replyBytes;
  const auto word = [&bytes](std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
  };
  if (bytes.size() < 2)
    return;
  if (bytes[1] == 0x03 && bytes.size() >= 3) {
    record.registerAddress = HexByteAt(record.requestBody, 4) << 8 | HexByteAt(record.requestBody, 6);
    record.values.reserve(bytes[2] / 2u);
    for (std::size_t at = 3; at + 1 < 3u + bytes[2] && at + 1 < bytes.size(); at += 2)
      record.values.push_back(word(at));
  } else if (bytes[1] == 0x06 && bytes.size() >= 6) {
    record.registerAddress = word(2);
    record.values.push_back(word(4));
  }
}
} // namespace

void TExchangeEngine::ReceiveData(const char *buffer, unsigned length) {
  // While a reply is awaited and judged as soon as it is complete, a block
  // from the port goes in byte by byte: the reply is judged at its own last
  // byte, and what follows it in the block is what came after it, as when
  // the port hands over one byte at a time.
  // A TCP frame tells its own length: what follows it is cut off where it is judged.
  unsigned taken = 0;
  while (completeOnReply_ && state_.WaitingReply && !tcp_ && length - taken > 1)
    ReceivePiece(buffer + taken++, 1);
  ReceivePiece(buffer + taken, length - taken);
}

void TExchangeEngine::ReceivePiece(const char *buffer, unsigned length) {
  // an empty piece carries nothing and must not pass for a reply
  if (length == 0)
    return;
  if (!echo_.Awaiting()) {
    StoreReceived(buffer, length, true);
    return;
  }
  lastByteMs_ = NowMs(); // an echo's bytes are on the line too
  const std::size_t echoBytes = echo_.EchoBytes();
  const LineEcho::Taken taken = echo_.Take(buffer, length);
  if (!taken.done)
    return;
  NoteEcho(taken);
  if (taken.echoed)
    echoedBytes_ = echoBytes;
  if (!taken.passOn.empty())
    StoreReceived(taken.passOn.data(), taken.passOn.size(), true);
}

void TExchangeEngine::NoteEcho(const LineEcho::Taken &taken) {
  if (taken.found)
    emit EchoFound();
  echoDiffers_ = echoDiffers_ || taken.differs;
  echoInReply_ = echoInReply_ || taken.echoed;
}

void TExchangeEngine::FlushEcho() {
  const LineEcho::Taken taken = echo_.Flush();
  NoteEcho(taken);
  if (!taken.passOn.empty())
    StoreReceived(taken.passOn.data(), taken.passOn.size(), false);
}

void TExchangeEngine::StoreReceived(const char *buffer, std::size_t length, bool checkComplete) {
  lastByteMs_ = NowMs();
  if (state_.ReceiveBuffer.empty() && state_.ReceivedBeyondLimit == 0)
    firstBufferedMs_ = lastByteMs_;
  // Only what a reply can hold is kept; noise beyond it is only counted.
  const bool rtu = IsRtuMode();
  const std::size_t held = rtu ? state_.ReceiveBuffer.size() / 2 : state_.ReceiveBuffer.size();
  const std::size_t kept = ReceiveLimit::Kept(held, length);
  state_.ReceivedBeyondLimit += length - kept;
  if (rtu)
    state_.ReceivedChunk = BytesToHex(reinterpret_cast<const std::uint8_t *>(buffer), kept);
  else
    state_.ReceivedChunk.assign(buffer, kept);
  state_.ReceivedCount += static_cast<int>(kept);
  state_.ReceiveBuffer += state_.ReceivedChunk;
  state_.DataArrived = true;
  if (checkComplete && completeOnReply_ && state_.WaitingReply)
    CheckReplyComplete();
  else if (completeOnReply_ && !state_.WaitingReply && !state_.QuietWindowPending && !tcp_ &&
           repeats_.CopyOf(state_.ReceiveBuffer, lastByteMs_))
    TakeUnaskedCopy(firstBufferedMs_);
}

void TExchangeEngine::WaitHandler() {
  CommState &s = state_;
  if (echo_.Awaiting())
    FlushEcho();
  const bool echoDiffers = std::exchange(echoDiffers_, false);
  const bool echoInReply = std::exchange(echoInReply_, false);
  bool copy = std::exchange(refuseAsCopy_, false);
  heldCopy_ = 0;
  // Judged at the window's end, a reply and its copy come in one buffer.
  std::string copyText;
  if (!tcp_ && s.DataArrived && s.ReceivedBeyondLimit == 0 && !echoDiffers && !echoInReply)
    copyText = SplitOffCopy();
  if (!copyText.empty() && !std::exchange(copyLearnt_, true))
    copy = true; // the first time, the request is asked again
  if (tcp_ && s.DataArrived) {
    DropLateTcpFrames();
    s.DataArrived = !s.ReceiveBuffer.empty() || s.ReceivedBeyondLimit > 0;
  }
  if (s.DataArrived) {
    s.DataArrived = false;
    if (!s.WaitingReply)
      ++s.UnsolicitedReceptions;
    try {
      if (s.ReceivedBeyondLimit > 0) {
        // longer than any reply: an error, shown cut with what was left out
        s.ReplyText = s.ReceiveBuffer + ReceiveLimit::CutNote(s.ReceivedBeyondLimit);
        s.ReplyBody = s.ReceiveBuffer;
        lastRejection_ = {ReplyRejection::Kind::OverLong};
        ErrorReply();
      } else if (copy) {
        s.ReplyText = IsRtuMode() ? s.ReceiveBuffer : SplitAsciiReply(FromLastColon(s.ReceiveBuffer)).text;
        s.ReplyBody = s.ReceiveBuffer;
        lastRejection_ = {ReplyRejection::Kind::Repeated};
        ErrorReply();
      } else if (echoDiffers && echo_.GetMode() == LineEcho::Mode::On && !echo_.Decided() &&
                 BufferAnswersRequest()) {
        // The reply came with no echo before it: the line does not echo.
        NoteNoEcho();
        JudgeFraming();
      } else if (echoDiffers || echoInReply) {
        // What came is not the drive's reply, whatever its checks say.
        s.ReplyText = s.ReceiveBuffer;
        s.ReplyBody = s.ReceiveBuffer;
        lastRejection_ = {echoDiffers ? ReplyRejection::Kind::EchoDiffers : ReplyRejection::Kind::OwnEcho};
        ErrorReply();
      } else {
        JudgeFraming();
      }
    } catch (...) {
      // a consumer that fails must not leave the exchange open forever
      ClearReceived(s);
      s.ReceivedCount = 0;
      s.WaitingReply = false;
      throw;
    }
    if (!copyText.empty()) {
      ++s.UnsolicitedReceptions;
      s.ReceiveBuffer = std::move(copyText);
      LogUnasked(false);
    }
    ClearReceived(s);
    return;
  }

  if (tcp_ && s.WaitingReply && strayTransaction_ >= 0) {
    // Something answered, with another request's id: named by it, not "no response".
    s.ReplyText = strayFrame_;
    s.ReplyBody = strayFrame_;
    lastRejection_ = {.kind = ReplyRejection::Kind::Transaction, .transaction = strayTransaction_};
    ErrorReply();
    return;
  }
  EndExchange(ExchangeRecord::Outcome::NoResponse);
  ClearReceived(s);
  const int waitedMs = s.WaitTicks * s.TickMs;
  s.WaitTicks = 0;
  s.DataArrived = false;
  const bool probe = probing_;
  if (probe)
    EndEchoProbe();
  // The user's command that got no answer no longer waits: the next reply
  // belongs to whatever asks next.
  if (!probe)
    s.UserCmdAwaitingReply = false;
  ++s.TimeoutRecords;
  ++s.MissedReplies;
  emit CountersChanged();
  s.WaitingReply = false;
  // Over Modbus TCP each reply carries its request's id: a late one is told
  // by it, so nothing need wait for the line to fall quiet.
  if (!tcp_ && !probe)
    BeginQuiet(waitedMs);
  if (!probe)
    emit ReplyMissing(s.SequenceAwaitingReply);
}

void TExchangeEngine::JudgeFraming() {
  CommState &s = state_;
  if (tcp_) {
    JudgeTcpReply();
  } else if (IsRtuMode()) {
    s.ReplyText = s.ReceiveBuffer;
    s.ReplyBody = s.ReplyText;
    StoreReplyBytes(s, HexTextToBytes(s.ReplyText));
    ProcessReply();
  } else {
    AssembleAsciiReply(s.ReceiveBuffer);
  }
}

std::string TExchangeEngine::SplitOffCopy() {
  CommState &s = state_;
  const std::size_t half = s.ReceiveBuffer.size() / 2;
  if (half == 0 || s.ReceiveBuffer.size() % 2 != 0 ||
      s.ReceiveBuffer.compare(0, half, s.ReceiveBuffer, half, half) != 0)
    return {};
  std::string copy = s.ReceiveBuffer.substr(half);
  s.ReceiveBuffer.resize(half);
  if (!BufferAnswersRequest()) {
    s.ReceiveBuffer += copy;
    return {};
  }
  // The gap between them, as far as the bytes' pace on the line tells it.
  const std::uint32_t baud = port_ ? port_->BaudRate() : 0;
  const double frameMs =
      baud == 0 ? 0 : (IsRtuMode() ? half / 2 : half) * port_->CharacterBits() * 1000.0 / baud;
  NoteRepeat(lastByteMs_ - firstBufferedMs_ - 2 * frameMs);
  return copy;
}

bool TExchangeEngine::BufferAnswersRequest() const {
  const CommState &s = state_;
  if (IsRtuMode())
    return CheckReply(s.ReceiveBuffer, s.LastSentFrame, true) == ReplyFault::None;
  const AsciiReply reply = SplitAsciiReply(FromLastColon(s.ReceiveBuffer));
  return reply.wellFormed && CheckReply(reply.body, s.LastSentFrame, false) == ReplyFault::None;
}

void TExchangeEngine::NoteNoEcho() {
  if (echo_.Decided())
    return;
  echo_.NoEchoSeen();
  if (echo_.Missing())
    emit EchoMissing();
}

void TExchangeEngine::EndEchoProbe() {
  if (!echo_.Echoed())
    NoteNoEcho();
  probing_ = false;
}

// ---- the quiet after a time-out ---------------------------------------------

void TExchangeEngine::BeginQuiet(int waitedMs, bool afterRefusal) {
  CommState &s = state_;
  const std::string &request = s.LastSentFrame;
  const bool read = !afterRefusal && request.size() >= 4 && request.compare(2, 2, "03") == 0;
  // A scan of several drives asks another drive next: a late answer would
  // carry the wrong address.
  const bool nextAsksAnother =
      s.ScanRunning && request.size() >= 5 && request[4] == '1' && steps_->ScanAsksSeveralDrives();
  const int address = HexByteAt(request, 0);
  const int coverMs = lateness_.CoverMs(address, read && !nextAsksAnother, TimeoutMs);
  quiet_ = {};
  quiet_.address = address;
  quiet_.request = request;
  quiet_.sentMs = sentMs_;
  quiet_.sinceSentMs = waitedMs;
  quiet_.holdMs = coverMs;
  quiet_.probe = coverMs > 0 && lateness_.LatenessMs(address) == 0;
  quiet_.endByMs = std::max(TimeoutMs, coverMs - waitedMs) + TimeoutMs;
  s.QuietWindowPending = true;
  s.QuietTicks = 0;
  TellPortAnyByte();
}

void TExchangeEngine::AwaitQuietLine() {
  CommState &s = state_;
  quiet_.elapsedMs += s.TickMs;
  if (s.DataArrived) { // bytes still coming in: the quiet starts again
    s.DataArrived = false;
    s.QuietTicks = 0;
    if (quiet_.firstByteMs < 0)
      quiet_.firstByteMs = firstBufferedMs_;
  } else {
    ++s.QuietTicks;
  }
  const bool quietForAWindow = s.QuietTicks * s.TickMs > TimeoutMs;
  const bool lateAnswerPassed = quiet_.sinceSentMs + quiet_.elapsedMs >= quiet_.holdMs;
  // A control command is never held back: its reply repeats it, so no late
  // answer can pass for it.
  if ((quietForAWindow && lateAnswerPassed) || quiet_.elapsedMs >= quiet_.endByMs || s.ControlPending)
    EndQuiet();
}

void TExchangeEngine::EndQuiet() {
  CommState &s = state_;
  const bool heldOut = quiet_.sinceSentMs + quiet_.elapsedMs >= quiet_.holdMs;
  bool answered = false;
  if (!s.ReceiveBuffer.empty()) {
    const bool rtu = IsRtuMode();
    const std::string body = rtu ? s.ReceiveBuffer : SplitAsciiReply(FromLastColon(s.ReceiveBuffer)).body;
    answered = NoteLateAnswer(body, quiet_.request, quiet_.sentMs, quiet_.firstByteMs);
    // A function 03 reply names no register, so it could pass for the answer
    // of the next read: it is only logged, all that came in one line.
    ++s.LateReplies;
    ++s.UnsolicitedReceptions;
    LogUnasked(true);
  }
  if (quiet_.probe && heldOut && !answered)
    lateness_.Probed(quiet_.address);
  s.QuietWindowPending = false;
  s.QuietTicks = 0;
  s.DataArrived = false;
}

bool TExchangeEngine::NoteLateAnswer(const std::string &replyBody, const std::string &request, double sentMs,
                                     double arrivedMs) {
  if (request.empty() || arrivedMs < sentMs ||
      CheckReply(replyBody, request, IsRtuMode()) != ReplyFault::None)
    return false;
  const int address = HexByteAt(request, 0);
  const int lateMs = static_cast<int>(arrivedMs - sentMs);
  // an answer to a request long gone is some other request's, of the same form
  if (lateMs > (DriveLateness::ProbeWindows + 1) * TimeoutMs)
    return false;
  // within its window, after a refused frame: the drive is not late
  if (lateMs > TimeoutMs && lateness_.Seen(address, lateMs))
    emit LateDriveNoted(address, lateMs, TimeoutMs);
  return true;
}

void TExchangeEngine::LogUnasked(bool late) {
  CommState &s = state_;
  std::string text = IsRtuMode() ? s.ReceiveBuffer : FromLastColon(s.ReceiveBuffer);
  if (!IsRtuMode()) {
    const AsciiReply reply = SplitAsciiReply(text);
    text = reply.wellFormed ? reply.text : s.ReceiveBuffer;
  }
  if (s.ReceivedBeyondLimit > 0)
    text += ReceiveLimit::CutNote(s.ReceivedBeyondLimit);
  ExchangeRecord record = UnaskedRecord();
  record.outcome = late ? ExchangeRecord::Outcome::LateReply : ExchangeRecord::Outcome::Unasked;
  record.replyText = QString::fromStdString(text);
  TellEnded(std::move(record));
  ClearReceived(s);
  s.ReceivedCount = 0;
  s.DataArrived = false;
}

// ---- judging a reply -----------------------------------------------------------

void TExchangeEngine::AssembleAsciiReply(const std::string &text) {
  const AsciiReply reply = SplitAsciiReply(FromLastColon(text));
  state_.ReplyBody = reply.body;
  state_.ReplyText = reply.text;
  if (!reply.wellFormed) {
    lastRejection_ = {ReplyRejection::Kind::Malformed};
    ErrorReply();
    return;
  }
  StoreReplyBytes(state_, reply.bytes);
  ProcessReply();
}

void TExchangeEngine::JudgeTcpReply() {
  using Kind = ReplyRejection::Kind;
  CommState &s = state_;
  const std::vector<std::uint8_t> bytes = HexTextToBytes(s.ReceiveBuffer);
  s.ReplyText = s.ReceiveBuffer;
  s.ReplyBody = s.ReceiveBuffer;
  const std::optional<TcpFrames::Header> header = TcpFrames::ReadHeader(bytes);
  std::optional<Kind> fault;
  if (!header)
    fault = Kind::Malformed;
  else if (header->protocol != 0)
    fault = Kind::Protocol;
  else if (header->transaction != transaction_)
    fault = Kind::Transaction;
  else if (TcpFrames::LengthFieldEnd + header->length != bytes.size())
    fault = Kind::LengthField;
  if (header && header->transaction == transaction_)
    answered_ = true;
  if (fault) {
    lastRejection_ = {*fault};
    if (*fault == Kind::Transaction)
      lastRejection_.transaction = header->transaction;
    ErrorReply();
    return;
  }
  // From here on it is checked as the RTU frame that carries the same unit
  // id, function and data.
  const std::vector<std::uint8_t> rtu = TcpFrames::AsRtuFrame(bytes);
  s.ReplyBody = BytesToHex(rtu.data(), rtu.size());
  StoreReplyBytes(s, rtu);
  ProcessReply();
}

void TExchangeEngine::DropLateTcpFrames() {
  CommState &s = state_;
  // most often the frame at the front is the awaited one's
  const auto frontTransaction = [&s] {
    const int high = HexByteAt(s.ReceiveBuffer, 0);
    const int low = HexByteAt(s.ReceiveBuffer, 2);
    return high < 0 || low < 0 ? -1 : high << 8 | low;
  };
  while (s.ReceiveBuffer.size() >= 2 * TcpFrames::HeaderBytes && frontTransaction() != transaction_) {
    const std::vector<std::uint8_t> bytes = HexTextToBytes(s.ReceiveBuffer);
    const std::optional<TcpFrames::Header> header = TcpFrames::ReadHeader(bytes);
    const std::optional<std::size_t> length = TcpFrames::FrameBytes(bytes);
    if (!header || !length || bytes.size() < *length || header->protocol != 0 ||
        header->transaction == transaction_ ||
        std::find(earlierTransactions_.begin(), earlierTransactions_.end(), header->transaction) ==
            earlierTransactions_.end())
      return;
    std::string rest = s.ReceiveBuffer.substr(2 * *length);
    s.ReceiveBuffer.resize(2 * *length);
    if (s.WaitingReply) {
      strayTransaction_ = header->transaction;
      strayFrame_ = s.ReceiveBuffer;
    }
    ++s.LateReplies;
    ++s.UnsolicitedReceptions;
    LogUnasked(true);
    s.ReceiveBuffer = std::move(rest);
    s.ReceivedCount = static_cast<int>(s.ReceiveBuffer.size() / 2);
    s.DataArrived = !s.ReceiveBuffer.empty();
  }
}

void TExchangeEngine::ProcessReply() {
  CommState &s = state_;
  const bool rtu = IsRtuMode();
  if (CheckReply(s.ReplyBody, s.LastSentFrame, rtu) != ReplyFault::None) {
    lastRejection_ = ClassifyRejection(s.ReplyText, s.ReplyBody, s.LastSentFrame, rtu);
    ErrorReply();
    return;
  }
  // A right frame that nobody awaited (a reply sent twice, a drive that
  // answers a broadcast) is no value of anything.
  if (!s.WaitingReply) {
    lastRejection_ = {ReplyRejection::Kind::Unasked};
    ErrorReply();
    return;
  }
  lastAccepted_ = true;
  if (!tcp_) {
    repeats_.Took(s.ReceiveBuffer, s.LastSentFrame, lastByteMs_);
    copyAwaited_ = repeats_.Known();
    if (!echo_.Echoed() && s.ReplyBytes[1] == 0x03)
      NoteNoEcho();
  }
  if (probing_) {
    EndExchange(ExchangeRecord::Outcome::Accepted);
    ++s.AcceptedReplies;
    EndEchoProbe();
    s.WaitingReply = false;
    s.ReceivedCount = 0;
    return;
  }
  // the user's own request is only logged; a sequence step goes to the
  // sequence; anything else to whoever asks that register
  const ReplyConsumer consumer = s.UserCmdAwaitingReply || s.SequenceAwaitingReply
                                     ? ReplyConsumer::None
                                     : ConsumerOfReply(s.ReplyBytes[1], s.LastSentFrame);
  EndExchange(ExchangeRecord::Outcome::Accepted, consumer);
  emit ReplyAccepted();
  ++s.AcceptedReplies;

  if (s.UserCmdAwaitingReply) {
    s.UserCmdAwaitingReply = false;
  } else if (s.SequenceAwaitingReply) {
    emit SequenceReply();
  } else if (consumer != ReplyConsumer::None) {
    emit ReplyDispatched(consumer);
  }
  s.WaitingReply = false;
  s.ReceivedCount = 0;
}

void TExchangeEngine::ErrorReply() {
  CommState &s = state_;
  lastAccepted_ = false;
  const bool awaited = s.WaitingReply;
  if (lastRejection_.kind != ReplyRejection::Kind::Repeated && !tcp_ &&
      repeats_.CopiesAnotherRequest(s.ReceiveBuffer, s.LastSentFrame, lastByteMs_)) {
    // another request's reply again, refused for not fitting this one
    if (const ReplyRepeats::Taken *original = repeats_.CopyOf(s.ReceiveBuffer, lastByteMs_))
      NoteRepeat(firstBufferedMs_ - original->endMs);
    lastRejection_ = {ReplyRejection::Kind::Repeated};
  }
  // Another drive's answer after a time-out may be the late answer of the
  // request that timed out.
  if (lastRejection_.kind == ReplyRejection::Kind::Address)
    NoteLateAnswer(s.ReplyBody, quiet_.request, quiet_.sentMs, firstBufferedMs_);
  ++s.ErrorRecords;
  ++s.RejectedReplies;
  emit CountersChanged();
  reasking_ = awaited && lastRejection_.kind == ReplyRejection::Kind::Repeated && !probing_ &&
              reasked_ < MostAskedAgain;
  EndExchange(ExchangeRecord::Outcome::ErrorReply);
  reasking_ = false;
  s.ReceivedCount = 0;
  ClearReceived(s);
  if (awaited && lastRejection_.kind == ReplyRejection::Kind::Repeated && !probing_ &&
      reasked_ < MostAskedAgain) {
    // The value cannot be told from a copy: the engine asks again itself,
    // once the line is quiet. Who awaits the request hears of the answer
    // to it; the refusal is shown and logged.
    ++reasked_;
    ++s.AskedAgain;
    resend_ = s.LastSentFrame;
    s.WaitingReply = false;
    if (!tcp_)
      BeginQuiet(static_cast<int>(NowMs() - sentMs_), true);
    return;
  }
  if (awaited && probing_) {
    // What the probe held back is a write, whose confirmation no late answer
    // to a read can pass for: it goes out without a quiet (a stop at once).
    EndEchoProbe();
    s.WaitingReply = false;
    return;
  }
  const bool sequenceStep = s.SequenceAwaitingReply;
  s.SequenceAwaitingReply = false;
  s.UserCmdAwaitingReply = false;
  s.WaitingReply = false;
  // The drive's own answer may still be coming after what was refused (a
  // noise frame, a copy, a collision): it must not pass for the next
  // request's, so the line falls quiet first, as after a time-out.
  if (awaited && !tcp_)
    BeginQuiet(static_cast<int>(NowMs() - sentMs_), true);
  emit ReplyRejected(QString::fromStdString(s.ReplyText), sequenceStep);
}

// ---- the record of an exchange ---------------------------------------------------

ExchangeRecord TExchangeEngine::UnaskedRecord() const {
  ExchangeRecord record;
  record.at = LocalNow();
  record.port = port_ ? port_->CommName() : QString();
  record.rtu = IsRtuMode();
  record.tcp = tcp_;
  return record;
}

void TExchangeEngine::EndExchange(ExchangeRecord::Outcome outcome, ReplyConsumer consumer) {
  CommState &s = state_;
  ExchangeRecord record = s.WaitingReply ? std::move(current_) : UnaskedRecord();
  current_ = {};
  record.outcome = outcome;
  record.userCommand = s.UserCmdAwaitingReply && !probing_;
  record.sequenceStep = s.SequenceAwaitingReply && !probing_;
  if (outcome != ExchangeRecord::Outcome::NoResponse) {
    record.replyText = QString::fromStdString(s.ReplyText);
    record.replyBytes = BytesOfBody(s.ReplyBody);
    if (record.awaited && lastByteMs_ >= sentMs_)
      record.roundTripMs = lastByteMs_ - sentMs_;
  }
  if (outcome == ExchangeRecord::Outcome::ErrorReply)
    record.rejection = lastRejection_;
  if (outcome == ExchangeRecord::Outcome::Accepted) {
    record.consumer = consumer;
    ReadRegisters(record);
  }
  TellEnded(std::move(record));
}

// ---- handling a reply the moment it is complete ------------------------------

void TExchangeEngine::CheckReplyComplete() {
  if (heldCopy_ > 0) {
    // What follows tells: the held reply's own copy (the line repeats, and
    // the value is the same whichever it was), or this request's answer
    // after a copy of another's.
    const std::string_view buffer(state_.ReceiveBuffer);
    const std::string_view held = buffer.substr(0, heldCopy_);
    const std::string_view after = buffer.substr(heldCopy_);
    if (after.size() == (IsRtuMode() ? 2u : 1u))
      heldAfterMs_ = lastByteMs_;
    if (after.empty() || (after.size() < held.size() && held.starts_with(after)))
      return;
    if (after != held) {
      RefuseHeldCopy();
      return;
    }
    // judged as of its own end, and its copy as what came after it
    const double lastByteMs = std::exchange(lastByteMs_, heldEndMs_);
    const double copyStartMs = heldAfterMs_;
    JudgeCompleteReply(heldCopy_, copyStartMs);
    lastByteMs_ = std::max(lastByteMs_, lastByteMs);
    return;
  }
  if (echoDiffers_) {
    // Nothing tells where a collision's bytes end but the line falling silent.
    TellPortAnyByte();
    silence_->start(UnknownLengthSilenceMs());
    return;
  }
  if (echoInReply_) {
    // The request came back: all of it is shown, not as much as the reply
    // its first bytes look like would hold.
    const std::size_t length = echoedBytes_ * (IsRtuMode() ? 2 : 1);
    if (state_.ReceiveBuffer.size() >= length) {
      silence_->stop();
      JudgeCompleteReply(length);
    }
    return;
  }
  if (tcp_) {
    // a late answer to an earlier request is logged and the wait goes on
    DropLateTcpFrames();
    if (state_.ReceiveBuffer.empty())
      return;
  }
  const ReplyCompletion::Extent extent =
      tcp_          ? ReplyCompletion::TcpExtent(state_.ReceiveBuffer)
      : IsRtuMode() ? ReplyCompletion::RtuExtent(state_.ReceiveBuffer, state_.LastSentFrame)
                    : ReplyCompletion::AsciiExtent(state_.ReceiveBuffer);
  switch (extent.state) {
  case ReplyCompletion::State::Complete:
    silence_->stop();
    if (!tcp_ && !repeats_.AnswersOnce() &&
        repeats_.CopiesAnotherRequest(std::string_view(state_.ReceiveBuffer).substr(0, extent.length),
                                      state_.LastSentFrame, lastByteMs_)) {
      // It could be a copy of that reply as well as this request's answer:
      // judged when the window ends, unless more comes meanwhile.
      heldCopy_ = extent.length;
      heldEndMs_ = lastByteMs_;
      TellPortAnyByte();
      break;
    }
    JudgeCompleteReply(extent.length);
    break;
  case ReplyCompletion::State::UnknownLength:
    // Every byte from now on comes at once and starts the silence again;
    // those the port already holds come after a silence of its own, so the
    // wait is twice the line's.
    TellPortAnyByte();
    silence_->start(UnknownLengthSilenceMs());
    break;
  case ReplyCompletion::State::Incomplete:
    break;
  }
}

void TExchangeEngine::SilenceEnded() {
  if (completeOnReply_ && state_.WaitingReply && !state_.ReceiveBuffer.empty())
    JudgeCompleteReply(state_.ReceiveBuffer.size());
}

void TExchangeEngine::JudgeCompleteReply(std::size_t length, double restStartMs) {
  // the reply is shown and logged once the next request is on its way
  const ExchangeJournal::Turn turn(*Journal);
  CommState &s = state_;
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
  if (s.WaitingReply)
    return;
  // A second copy of the reply, an echo's tail, a drive still answering:
  // whatever comes now must be seen at once, not when it looks whole.
  TellPortAnyByte();
  if (!s.ReceiveBuffer.empty() && !s.QuietWindowPending && !tcp_ &&
      repeats_.CopyOf(s.ReceiveBuffer, lastByteMs_)) {
    TakeUnaskedCopy(restStartMs >= 0 ? restStartMs : lastByteMs_);
    return;
  }
  // After an error reply the drive may still be sending: the next request
  // waits for the tick, as every request did before.
  if (!s.ReceiveBuffer.empty() || !lastAccepted_)
    return;
  // The next step now rather than at the next tick, which then counts from
  // here (a stopped timer, as while the port is set up, stays stopped). It is
  // restarted once the request is out: the request does not wait for it.
  const bool ticking = Timer->isActive();
  StartNextRequest();
  if (ticking && Timer->isActive())
    Timer->start();
}

void TExchangeEngine::RefuseHeldCopy() {
  const std::string held = state_.ReceiveBuffer.substr(0, heldCopy_);
  if (const ReplyRepeats::Taken *original = repeats_.CopyOf(held, lastByteMs_))
    NoteRepeat(firstBufferedMs_ - original->endMs);
  refuseAsCopy_ = true;
  JudgeCompleteReply(heldCopy_);
}

void TExchangeEngine::TakeUnaskedCopy(double startMs) {
  CommState &s = state_;
  if (const ReplyRepeats::Taken *original = repeats_.CopyOf(s.ReceiveBuffer, lastByteMs_))
    NoteRepeat(startMs - original->endMs);
  copyAwaited_ = false;
  ++s.UnsolicitedReceptions;
  LogUnasked(false);
  // the request held back for the copy goes out once the line is silent
  if (!s.WaitingReply && !s.QuietWindowPending)
    StartNextRequest();
}

void TExchangeEngine::NoteRepeat(double gapMs) {
  if (repeats_.Seen(gapMs))
    emit RepeatsFound(static_cast<int>(repeats_.GapMs() + 0.5));
}

void TExchangeEngine::TellPortAnyByte() {
  if (completeOnReply_ && port_)
    port_->ExpectInput({.Count = 1});
}
