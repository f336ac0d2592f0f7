// Framing, sending, logging and counting of every request that goes on the
// line. Callers hand over the body as hex text (address, function, data).
#include "app/MainWindow.h"

#include "protocol/ConvertError.h"
#include "protocol/Frames.h"
#include "serial/TComm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>
#include <QTextEdit>

namespace {
constexpr int UserDefineTab = 2;
constexpr int RequestColor = 255; // red until the reply is accepted
const char *const SendMark = " Send  > ";
const char *const LoggedCrLf = "/x0D/x0A";
const int HistoryLimit = 100; // more lines than this lose the oldest one

bool IsBroadcastBody(const std::string &body) { return body.compare(0, 2, "00") == 0; }

QString TimeStampNow() { return QString::fromStdString(FormatTimeStamp(CurrentLocalTime())); }

// A sequence step goes out without its checksum when the user asks so; in
// ASCII only while the sequence's tab is the one shown.
bool SendsWithoutChecksum(const TForm1 &form, bool rtu) {
  return form.State.SequenceAwaitingReply && !form.UAddChecksum->isChecked() &&
         (rtu || form.PageControl1->currentIndex() == UserDefineTab);
}
} // namespace

bool TForm1::IsRtuMode() const { return Comm1->ByteSize() == TByteSize::_8; }

void TForm1::SendFrame(const std::string &body) {
  if (HistoryLineCount() > HistoryLimit)
    DeleteFirstHistoryLine();
  // The pane scrolls to the new line itself once it is there (see
  // FollowNewestHistoryLine), unless the user scrolled up to read.

  // A text that is no number ends the handler here, before anything is sent.
  const int address = StrToInt(MachineID->currentText().toStdString());

  const bool rtu = IsRtuMode();
  const bool raw = SendsWithoutChecksum(*this, rtu);

  // A body that cannot be framed whole is refused before anything changes,
  // so no reply is awaited for it and it is not counted.
  const std::string refusal = BodyRefusal(body, rtu, raw);
  if (!refusal.empty()) {
    const QString line = TimeStampNow() + SendMark + "  " + QString::fromStdString(body) +
                         "  -----> Not sent: " + QString::fromStdString(refusal) + "!   ";
    AppendHistoryLine(line, RequestColor);
    emit RequestLogged(line, false);
    return;
  }
  // In RTU a pair that is not two hex digits raises the conversion error
  // now, before the request is noted as awaiting a reply.
  if (rtu)
    HexPairsToBytes(body);

  // A request to address 00 is a broadcast, whoever sends it (the user's
  // command with Motor Addr 0): no drive answers it.
  if (address != 0 && !IsBroadcastBody(body))
    State.WaitingReply = true;
  State.LastSentFrame = body;
  // Bytes received before the request went out cannot be its answer, and a
  // new exchange ends any wait for a quiet line.
  State.QuietWindowPending = false;
  State.ReceiveBuffer.clear();
  State.ReceivedChunk.clear();
  State.DataArrived = false;
  State.ReceivedCount = 0;

  if (rtu) {
    SendRtuFrame(body);
  } else {
    std::string output;
    if (raw) {
      State.SentFrameText = body;
      output = body;
    } else {
      State.SentFrameText = AsciiFrameText(body);
      output = State.SentFrameText + "\r\n";
    }
    Comm1->WriteData(output.data(), static_cast<std::uint16_t>(output.size()));
    QString line = TimeStampNow() + SendMark + "  " + QString::fromStdString(State.SentFrameText);
    if (!raw)
      line += LoggedCrLf;
    AppendHistoryLine(line, RequestColor);
    emit RequestLogged(line, State.WaitingReply);
  }

  ++State.TotalRecords;
  StatusBar1->SetPanelText(1, "   Total Record   " + QString::number(State.TotalRecords));
}

void TForm1::SendRtuFrame(const std::string &body) {
  const RtuFrame frame = BuildRtuFrame(body, SendsWithoutChecksum(*this, true));
  const QString line = TimeStampNow() + SendMark + "  " + QString::fromStdString(frame.text);
  AppendHistoryLine(line, RequestColor);
  emit RequestLogged(line, State.WaitingReply);
  Comm1->WriteData(frame.bytes.data(), static_cast<std::uint16_t>(frame.bytes.size()));
}
