// Applying the line settings chosen in the protocol settings window to the
// serial port, and the tick length that goes with the line speed.
#include "app/MainWindow.h"

#include "app/Dialogs.h"
#include "app/settings/TProtocolSet.h"
#include "portwatch/PortKeeper.h"
#include "protocol/ConvertError.h"
#include "serial/TComm.h"
#include "session/PeriodScan.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTimer>

namespace {
// Tick length by the item index of the baud rate list; slower lines need
// longer ticks since a reply takes longer to arrive.
int TickMsForBaudIndex(int index, int current) {
  static const int ticks[] = {600, 300, 150, 80, 40, 20, 20, 20};
  if (index < 0 || index >= static_cast<int>(std::size(ticks)))
    return current;
  return ticks[index];
}
} // namespace

void TForm1::ApplyPortSettings() {
  TProtocolSet &settings = *ProtocolSet;
  PortKeeper->Forget();
  Comm1->ClosePort();
  Comm1->SetCommName(settings.ComPort->currentText());

  // The data bits are how the rest of the program tells the modes apart.
  if (settings.ModbusMode->currentText() == "ASCII") {
    Comm1->SetByteSize(TByteSize::_7);
    settings.UserDataBit->setCurrentIndex(0);
  } else {
    Comm1->SetByteSize(TByteSize::_8);
    settings.UserDataBit->setCurrentIndex(1);
  }
  Comm1->SetBaudRate(static_cast<std::uint32_t>(StrToInt(settings.UserBaud->currentText().toStdString())));

  const bool tcp = settings.ModbusMode->currentText() == "TCP";
  Engine->SetTcpFraming(tcp);
  // Modbus TCP frames carry no checksum: the command list's box does not apply.
  UAddChecksum->setEnabled(!tcp && SequenceShown());
  UAddChecksum->setToolTip(
      tcp ? QStringLiteral("Modbus TCP: each command gets the application header, no checksum") : QString());
  Engine->SetCompleteOnReply(settings.CompleteOnReply->isChecked());
  Engine->SetEchoMode(
      LineEchoModeOf(settings.Echo->currentText().toStdString()).value_or(LineEcho::Mode::Off));
  // another line, other drives: their lateness, and whether it echoes, are learnt anew
  Engine->ForgetLine();
  ShowScanPeriodRange();
  UpcSend->stop();
  Engine->SetTickMs(TickMsForBaudIndex(settings.UserBaud->currentIndex(), State.TickMs));
  UpcSend->start();

  switch (settings.UserParity->currentIndex()) {
  case 0:
    Comm1->SetParity(TParity::None);
    break;
  case 1:
    Comm1->SetParity(TParity::Odd);
    break;
  case 2:
    Comm1->SetParity(TParity::Even);
    break;
  default:
    break;
  }
  switch (settings.UserStopBit->currentIndex()) {
  case 0:
    Comm1->SetStopBits(TStopBits::_1);
    break;
  case 1:
    Comm1->SetStopBits(TStopBits::_2);
    break;
  default:
    break;
  }
  Comm1->SetRs485(settings.Rs485->isChecked());
  Comm1->OpenPort();
  PortKeeper->Follow();

  ProtocolText = "          Protocol :  " + settings.ComPort->currentText() + ", " +
                 settings.ModbusMode->currentText() + ", " + settings.UserBaud->currentText() + ", " +
                 settings.UserDataBit->currentText() + ", " + settings.UserParity->currentText() + ", " +
                 settings.UserStopBit->currentText();
  ShowPortState();
  // Told once, here; the attempts to open it again every second are quiet
  // and show in the status bar.
  if (!Comm1->PortOpen()) {
    const QString reason = Comm1->PortOpenReason();
    Dialogs::ShowMessage(Comm1->PortOpenError() + '\n' + Comm1->CommName() +
                         (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
  }
}

void TForm1::ShowPortState() {
  const QString separator = QStringLiteral("  \u2014  ");
  QString echo;
  if (const std::string note = LineEchoNote(Engine->Echo()); !note.empty())
    echo = separator + QString::fromStdString(note);
  if (Engine->Repeats().Known())
    echo += separator + RepeatNote(static_cast<int>(Engine->Repeats().GapMs() + 0.5));
  StatusBar1->SetPanelText(0, ProtocolText + separator + PortKeeper->Summary() + echo);
  QString latency = Comm1->LowLatencyText();
  if (!latency.isEmpty())
    latency.prepend(separator);
  StatusBar1->SetPanelToolTip(0, ProtocolText + latency + separator + PortKeeper->Describe() + echo);
}

bool TForm1::YieldPort() {
  // A scan would only pile up refusals on the closed port.
  if (Scan->Running())
    Scan->Pause();
  const bool held = Comm1->PortOpen() || PortKeeper->CurrentState() != TPortKeeper::State::Closed;
  PortKeeper->Forget();
  Comm1->ClosePort();
  ShowPortState();
  return held;
}

void TForm1::ReclaimPort() {
  Comm1->OpenPort();
  PortKeeper->Follow();
  ShowPortState();
}
