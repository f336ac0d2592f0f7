// The receive path: bytes from the port collect in the receive buffer; when
// the reply window has passed, the buffer is judged as no response, an error
// reply or an accepted reply, and an accepted reply goes to the one consumer
// that asked for it.
#include "app/MainWindow.h"

#include "params/TInputBox.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"
#include "protocol/ReceiveLimit.h"
#include "protocol/ReplyCheck.h"
#include "serial/TComm.h"

#include <QCheckBox>
#include <QTabWidget>
#include <QTableWidget>
#include <algorithm>

namespace {
constexpr int UserDefineTab = 2;
constexpr int ReplyColumn = 4; // "Reply" column of the command list
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

void TForm1::SetLamps(int run, int stop, int fwd, int rev, int jog, int fault, int com) {
  UrunShape->SetBrushColor(run);
  UstopShape->SetBrushColor(stop);
  UfwdShape->SetBrushColor(fwd);
  UrevShape->SetBrushColor(rev);
  UjogShape->SetBrushColor(jog);
  UfaultShape->SetBrushColor(fault);
  UcomShape->SetBrushColor(com);
}

void TForm1::Comm1ReceiveData(const char *buffer, unsigned length) {
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
}

void TForm1::WaitHandler() {
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

  CompleteLastHistoryLine(NoResponseMark, false);
  SetLamps(LampColor::Off, LampColor::Olive, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off,
           LampColor::Red);
  ClearReceived(s);
  s.WaitTicks = 0;
  s.DataArrived = false;
  // The user's command that got no answer no longer waits: the next reply
  // belongs to whatever asks next.
  s.UserCmdAwaitingReply = false;
  ++s.TimeoutRecords;
  StatusBar1->SetPanelText(3, "   Timeout Record   " + QString::number(s.TimeoutRecords));
  s.WaitingReply = false;
  s.QuietWindowPending = true;
  s.QuietTicks = 0;
  // The step's row shows that it got nothing, as it shows an error reply.
  if (s.SequenceAwaitingReply)
    WriteSequenceReply(QStringLiteral("No response!"));
  if (PageControl1->currentIndex() == UserDefineTab && UTimeoutCheck->isChecked() && s.SequenceAwaitingReply)
    UdefStopClick();
}

void TForm1::AwaitQuietLine() {
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
    AppendHistoryLine(QString::fromStdString(FormatTimeStamp(CurrentLocalTime())) + LateReplyMark +
                          QString::fromStdString(text),
                      LampColor::Red);
    ++s.LateReplies;
    ++s.UnsolicitedReceptions;
    ClearReceived(s);
    s.ReceivedCount = 0;
    s.QuietTicks = 0;
    return;
  }
  if (++s.QuietTicks * s.TickMs > TimeoutMs) {
    s.QuietWindowPending = false;
    s.QuietTicks = 0;
  }
}

void TForm1::AssembleAsciiReply(const std::string &text) {
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

void TForm1::ProcessReply() {
  CommState &s = State;
  if (CheckReply(s.ReplyBody, s.LastSentFrame, IsRtuMode()) != ReplyFault::None) {
    ErrorReply();
    return;
  }
  CompleteLastHistoryLine(ReplyMark + QString::fromStdString(s.ReplyText), true);
  UcomShape->SetBrushColor(LampColor::Off);
  ++s.AcceptedReplies;

  if (s.UserCmdAwaitingReply) {
    s.UserCmdAwaitingReply = false; // the user's own request is only logged
  } else if (s.SequenceAwaitingReply) {
    StoreSequenceReply();
  } else {
    switch (ConsumerOfReply(s.ReplyBytes[1], s.LastSentFrame)) {
    case ReplyConsumer::ReadParameter:
      ReadParameterReply();
      break;
    case ReplyConsumer::DriveStatus:
      ShowDriveStatus();
      break;
    case ReplyConsumer::ModifyParameter:
      ModifyParameterReply();
      break;
    case ReplyConsumer::ControlLamps:
      ShowControlLamps();
      break;
    case ReplyConsumer::None:
      break;
    }
  }
  s.WaitingReply = false;
  s.ReceivedCount = 0;
}

void TForm1::ErrorReply() {
  CommState &s = State;
  // A value the drive will not take: write all with verification lists it
  // and does not ask again.
  if (WriteCheck.Active() && IsExceptionReply(s.ReplyBody, s.LastSentFrame, 3))
    WriteCheck.Refused();
  if (InputBox)
    InputBox->InputboxHint->setText("Hint: Error!   Please check!");
  ++s.ErrorRecords;
  StatusBar1->SetPanelText(2, "   Error Record   " + QString::number(s.ErrorRecords));
  CompleteLastHistoryLine(ReplyMark + QString::fromStdString(s.ReplyText), false);
  s.ReceivedCount = 0;
  ClearReceived(s);
  if (s.SequenceAwaitingReply) {
    // into the row the request was built from, not the next one to search
    WriteSequenceReply(QString::fromStdString(s.ReplyText));
    s.SequenceAwaitingReply = false;
  }
  s.UserCmdAwaitingReply = false;
  s.WaitingReply = false;
  SetLamps(LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off,
           LampColor::Red);
  if (UErrorCheck->isChecked() && PageControl1->currentIndex() == UserDefineTab)
    UdefStopClick();
}
