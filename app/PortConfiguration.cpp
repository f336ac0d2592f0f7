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

  Engine->SetCompleteOnReply(settings.CompleteOnReply->isChecked());
  Engine->ForgetLine(); // another line, other drives: their lateness is learnt anew
  ShowScanPeriodRange();
  State.TickMs = TickMsForBaudIndex(settings.UserBaud->currentIndex(), State.TickMs);
  UpcSend->stop();
  UpcSend->setInterval(State.TickMs);
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
  StatusBar1->SetPanelText(0, ProtocolText + separator + PortKeeper->Summary());
  StatusBar1->SetPanelToolTip(0, ProtocolText + separator + PortKeeper->Describe());
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
