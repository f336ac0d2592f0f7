// Framing, sending, logging and counting of every request that goes on the
// line. Callers hand over the body as hex text (address, function, data).
#include "exchange/ExchangeEngine.h"

#include "exchange/ReplyCompletion.h"
#include "protocol/ConvertError.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"
#include "protocol/TcpFrames.h"
#include "serial/TComm.h"

#include <utility>

namespace {
const char *const LoggedCrLf = "/x0D/x0A";

// Replies to as many requests before the last are told as late; an older
// transaction id is no reply of this line's at all.
constexpr std::size_t EarlierTransactionsKept = 16;

bool IsBroadcastBody(const std::string &body) { return body.compare(0, 2, "00") == 0; }

// Only a read's echo tells the line echoing: a write's reply repeats it.
bool IsReadBody(const std::string &body) {
  const int function = HexByteAt(body, 2);
  return function == 0x03 || function == 0x04;
}
} // namespace

bool TExchangeEngine::IsRtuMode() const { return tcp_ || (port_ && port_->ByteSize() == TByteSize::_8); }

// A sequence step goes out without its checksum when the user asks so; in
// ASCII only while the sequence is shown.
bool TExchangeEngine::SendsWithoutChecksum(bool rtu) const {
  return !tcp_ && !probing_ && state_.SequenceAwaitingReply && !addChecksum_ && (rtu || sequenceShown_);
}

void TExchangeEngine::SetMachineId(const QString &text) {
  machineId_ = text;
  int value = 0;
  machineIdNumber_ = TryStrToInt(text.toStdString(), value);
  machineIdBroadcast_ = text == QLatin1String("0");
}

void TExchangeEngine::SendFrame(const std::string &body) {
  // A text that is no number ends the handler here, before anything is sent.
  if (!machineIdNumber_)
    StrToInt(machineId_.toStdString());

  const bool rtu = IsRtuMode();
  const bool raw = SendsWithoutChecksum(rtu);

  // A body that cannot be framed whole, or a port that is not open, is
  // refused before anything changes, so no reply is awaited for it and it is
  // not counted.
  std::string refusal = BodyRefusal(body, rtu, raw);
  if (refusal.empty() && port_ && !port_->PortOpen())
    refusal = "port closed";
  if (!refusal.empty()) {
    emit RequestRefused(QString::fromStdString(refusal));
    ExchangeRecord refused = RequestRecord(body, QString::fromStdString(body));
    refused.outcome = ExchangeRecord::Outcome::NotSent;
    refused.notSentReason = QString::fromStdString(refusal);
    TellEnded(std::move(refused));
    return;
  }
  if (!std::exchange(resending_, false))
    reasked_ = 0;
  if (!probing_ && NeedsEchoProbe(body)) {
    resend_ = body;
    probing_ = true;
    // one register of the drive's status block
    SendFrame(body.substr(0, 2) + "0310000001");
    return;
  }
  // In RTU a pair that is not two hex digits raises the conversion error
  // now, before the request is noted as awaiting a reply.
  const std::vector<std::uint8_t> bodyBytes = rtu ? HexPairsToBytes(body) : std::vector<std::uint8_t>();

  // A new exchange ends any wait for a quiet line (a control command does
  // not wait for it), and bytes received before the request went out cannot
  // be its answer: they are logged as what they are.
  if (state_.QuietWindowPending)
    EndQuiet();
  if (!state_.ReceiveBuffer.empty() || state_.ReceivedBeyondLimit > 0) {
    ++state_.UnsolicitedReceptions;
    LogUnasked(false);
  }
  state_.DataArrived = false;
  state_.ReceivedCount = 0;
  gateWaitSinceMs_ = -1;
  echoDiffers_ = false;
  echoInReply_ = false;
  heldCopy_ = 0;
  refuseAsCopy_ = false;
  copyAwaited_ = false;
  strayTransaction_ = -1;
  repeats_.SetHorizonMs(TimeoutMs);

  // The request's own address decides whether an answer comes: 00 is a
  // broadcast, whoever sends it (the user's command with Motor Addr 0, any
  // command while Broadcast is ticked); a command the user addressed to a
  // drive is answered by it whatever the address box says.
  if (!IsBroadcastBody(body)) {
    state_.WaitingReply = true;
    sentMs_ = NowMs();
  }
  state_.LastSentFrame = body;
  const bool read = IsReadBody(body);

  // In every mode the frame is on its way before the exchange is told: the
  // drive answers while the history and the traffic log take its line.
  if (tcp_) {
    // Only a request that got no reply can have one still coming.
    if (!std::exchange(answered_, false)) {
      if (earlierTransactions_.size() == EarlierTransactionsKept)
        earlierTransactions_.erase(earlierTransactions_.begin());
      earlierTransactions_.push_back(transaction_);
    }
    ++transaction_;
    const std::vector<std::uint8_t> frame = TcpFrames::Build(transaction_, bodyBytes);
    echo_.RequestSent({}, false); // nothing comes back of a TCP request
    if (completeOnReply_ && port_)
      ExpectReplyInput(body, rtu);
    if (port_)
      port_->WriteData(frame.data(), static_cast<std::uint16_t>(frame.size()));
    RequestWentOut(body, QString::fromStdString(BytesToHex(frame.data(), frame.size())));
  } else if (rtu) {
    const RtuFrame frame = BuildRtuFrame(body, raw);
    echo_.RequestSent(std::string(frame.bytes.begin(), frame.bytes.end()), read);
    if (completeOnReply_ && port_)
      ExpectReplyInput(body, rtu);
    if (port_)
      port_->WriteData(frame.bytes.data(), static_cast<std::uint16_t>(frame.bytes.size()));
    RequestWentOut(body, QString::fromStdString(frame.text));
  } else {
    std::string output;
    if (raw) {
      state_.SentFrameText = body;
      output = body;
    } else {
      state_.SentFrameText = AsciiFrameText(body);
      output = state_.SentFrameText + "\r\n";
    }
    echo_.RequestSent(output, read);
    if (completeOnReply_ && port_)
      ExpectReplyInput(body, rtu);
    if (port_)
      port_->WriteData(output.data(), static_cast<std::uint16_t>(output.size()));
    QString text = QString::fromStdString(state_.SentFrameText);
    if (!raw)
      text += LoggedCrLf;
    RequestWentOut(body, text);
  }

  ++state_.TotalRecords;
  emit CountersChanged();
}

void TExchangeEngine::ExpectReplyInput(const std::string &body, bool rtu) {
  // The port holds the reply's bytes until it is complete, so that it comes
  // as one block: the length the request implies (in ASCII two characters a
  // byte, a colon and CR LF instead of the CRC), in ASCII also its LF, in
  // RTU 5 bytes when the function code's top bit makes it an exception. A
  // reply of unknown length ends with the line's silence.
  // The echo a line hands back first comes with it, in RTU counted in.
  const auto bytes =
      static_cast<std::uint32_t>(state_.WaitingReply ? ReplyCompletion::RtuReplyBytes(body) : 0);
  const std::size_t echoBytes = echo_.Discarding() ? echo_.EchoBytes() : 0;
  const auto echo = static_cast<std::uint8_t>(echoBytes <= 200 ? echoBytes : 0);
  constexpr std::uint8_t FunctionAt = 1;
  constexpr auto ExceptionBytes = static_cast<std::uint8_t>(ReplyCompletion::ExceptionBytes);
  if (tcp_)
    port_->ExpectInput({.Count = static_cast<std::uint32_t>(TcpFrames::ReplyBytesFromRtu(bytes)),
                        .ShortCount = static_cast<std::uint8_t>(TcpFrames::HeaderBytes + 2),
                        .FlagAt = static_cast<std::uint8_t>(TcpFrames::HeaderBytes),
                        .FlagBits = ReplyCompletion::ExceptionBit,
                        .LeastCount = static_cast<std::uint8_t>(TcpFrames::HeaderBytes + 2)});
  else if (rtu)
    port_->ExpectInput({.Count = bytes == 0 ? 0 : echo + bytes,
                        .ShortCount = static_cast<std::uint8_t>(echo + ExceptionBytes),
                        .FlagAt = static_cast<std::uint8_t>(echo + FunctionAt),
                        .FlagBits = ReplyCompletion::ExceptionBit,
                        .LeastCount = static_cast<std::uint8_t>(echo + ExceptionBytes)});
  else
    port_->ExpectInput({.Count = bytes == 0 ? 0 : 2 * bytes + 1,
                        .EndByte = '\n',
                        .LeastCount = static_cast<std::uint8_t>(2 * ReplyCompletion::ExceptionBytes + 1)});
}

bool TExchangeEngine::NeedsEchoProbe(const std::string &body) const {
  return !tcp_ && !echo_.Decided() && !IsReadBody(body) && !IsBroadcastBody(body) && body.size() >= 2;
}

ExchangeRecord TExchangeEngine::RequestRecord(const std::string &body, const QString &text) const {
  ExchangeRecord record;
  record.at = LocalNow();
  record.requestBody = body;
  record.requestText = text;
  record.address = HexByteAt(body, 0);
  record.function = HexByteAt(body, 2);
  record.sequenceStep = state_.SequenceAwaitingReply && !probing_;
  record.port = port_ ? port_->CommName() : QString();
  record.rtu = IsRtuMode();
  record.tcp = tcp_;
  return record;
}

void TExchangeEngine::RequestWentOut(const std::string &body, const QString &text) {
  current_ = RequestRecord(body, text);
  if (state_.WaitingReply) {
    current_.awaited = true;
    TellStarted(current_);
  } else {
    current_.outcome = ExchangeRecord::Outcome::Broadcast;
    TellEnded(std::exchange(current_, {}));
  }
}
