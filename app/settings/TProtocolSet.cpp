#include "app/settings/TProtocolSet.h"

#include "app/MainWindow.h"
#include "app/ScreenFit.h"
#include "app/settings/PortList.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QComboBox *DropDownList(const QStringList &items, int selected, QWidget *parent) {
  auto *box = new QComboBox(parent);
  box->addItems(items);
  box->setCurrentIndex(selected);
  return box;
}
} // namespace

TProtocolSet::TProtocolSet(QWidget *parent) : QDialog(parent) {
  setWindowTitle("ProtocolSettings");
  setFixedSize(409, 353);
  ScreenFit::KeepOnScreen(this);

  Edit1 = new QLineEdit(this);
  Edit1->setReadOnly(true);

  ComPort = new QComboBox(this);
  ComPort->setEditable(true);
  for (int i = 1; i <= PortList::ListedComPorts; ++i)
    ComPort->addItem("COM" + QString::number(i));
  ComPort->setCurrentIndex(-1); // chosen from the stored settings
  ComPort->setItemDelegate(new TPortItemDelegate(ComPort));

  ModbusMode = DropDownList({"ASCII", "RTU", "TCP"}, 0, this);
  ModbusMode->setItemData(
      2, "Modbus TCP: a gateway or an Ethernet drive at tcp:HOST[:PORT] (502 when none is given)",
      Qt::ToolTipRole);
  UserBaud = DropDownList({"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}, 0, this);
  UserDataBit = DropDownList({"7", "8"}, 0, this);
  UserDataBit->setEnabled(false);
  UserParity = DropDownList({"N", "O", "E"}, 0, this);
  UserStopBit = DropDownList({"1", "2"}, 0, this);

  CompleteOnReply = new QCheckBox("Handle replies as soon as they are complete", this);
  Rs485 = new QCheckBox("RS-485: RTS raised by the driver while sending", this);
  Echo = DropDownList({"off", "on", "detect"}, 0, this);
  Echo->setToolTip("Adapters that hear their own transmission hand each request back before the reply.\n"
                   "on: the request's exact bytes are expected first and discarded;\n"
                   "detect: discarded once a read's request is seen coming back;\n"
                   "off: nothing is discarded, and an echo is never taken for a reply.");

  Button1 = new QPushButton("OK", this);
  Button2 = new QPushButton("Close", this);

  auto *fields = new QGridLayout;
  const QList<QPair<QString, QWidget *>> rows = {{"Machine Series", Edit1}, {"Com Port", ComPort},
                                                 {"Mode", ModbusMode},      {"BaudRate", UserBaud},
                                                 {"Data Bit", UserDataBit}, {"Parity Check", UserParity},
                                                 {"StopBit", UserStopBit},  {"Adapter echo", Echo}};
  for (int r = 0; r < rows.size(); ++r) {
    fields->addWidget(new QLabel(rows[r].first, this), r, 0);
    fields->addWidget(rows[r].second, r, 1);
  }
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(CompleteOnReply);
  layout->addWidget(Rs485);
  layout->addLayout(buttons);

  connect(ModbusMode, &QComboBox::currentIndexChanged, this, [this] { ModbusModeChange(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TProtocolSet::ModbusModeChange() {
  // the data bits are fixed by the mode: 7 for ASCII, 8 for RTU and TCP
  if (ModbusMode->currentText() == "ASCII")
    UserDataBit->setCurrentIndex(0);
  else
    UserDataBit->setCurrentIndex(1); // RTU, and TCP's bytes
}

void TProtocolSet::Button1Click() {
  Form1->ApplyPortSettings();
  // Kept at once: a program ended by a logout never reaches the close query's
  // save. One that fails here is tried again, and reported, at exit.
  Form1->SaveLinePreferences();
  // A port that would not open was said in a box; the window stays, the
  // port's field ready for the corrected name.
  if (!Form1->Comm1->PortOpen()) {
    raise();
    activateWindow();
    ComPort->setFocus(Qt::OtherFocusReason);
    ComPort->lineEdit()->selectAll();
    return;
  }
  close();
}

void TProtocolSet::Button2Click() { close(); }

void TProtocolSet::showEvent(QShowEvent *event) {
  PortList::Refresh(ComPort, AppPaths::DataFolder(), DeviceRoot);
  QDialog::showEvent(event);
}

void TProtocolSet::ShowCentredOn(QWidget *owner) {
  // open still (a port that would not open): its list is read anew all the same
  if (isVisible())
    PortList::Refresh(ComPort, AppPaths::DataFolder(), DeviceRoot);
  if (owner)
    move(owner->geometry().center() - rect().center());
  show();
  raise();
}
