#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The "ProtocolSettings" window: serial port, Modbus mode and line settings.
// Created once at start and only shown and hidden afterwards, so its choices
// persist for the whole run; "OK" applies them to the port, "Close" keeps
// them for the next "OK" and for saving at exit.
class TProtocolSet : public QDialog {
  Q_OBJECT
public:
  explicit TProtocolSet(QWidget *parent = nullptr);

  QLineEdit *Edit1 = nullptr;       // "Machine Series", read-only
  QComboBox *ComPort = nullptr;     // "COM1" to "COM20", then the devices found; editable
  QComboBox *ModbusMode = nullptr;  // "ASCII", "RTU"
  QComboBox *UserBaud = nullptr;    // "1200" to "115200"
  QComboBox *UserDataBit = nullptr; // "7", "8"; follows the mode
  QComboBox *UserParity = nullptr;  // "N", "O", "E"
  QComboBox *UserStopBit = nullptr; // "1", "2"
  // Judges a reply at its last byte instead of at the end of its reply
  // window; kept in preferences.ini, off as delivered.
  QCheckBox *CompleteOnReply = nullptr;
  // The kernel's RS-485 direction control, where the port's driver has it;
  // kept in preferences.ini, off as delivered.
  QCheckBox *Rs485 = nullptr;
  // What is done with the request an adapter hands back before the reply:
  // "off", "on", "detect" (the preference's words); kept in
  // preferences.ini, off as delivered.
  QComboBox *Echo = nullptr;
  QPushButton *Button1 = nullptr; // "OK"
  QPushButton *Button2 = nullptr; // "Close"

  void ModbusModeChange();
  void Button1Click();
  void Button2Click();

  // Shows the window centred on the given one (not modal).
  void ShowCentredOn(QWidget *owner);

  // The folder that stands for "/" when the window looks for serial devices
  // (a test's fake device tree).
  QString DeviceRoot = QStringLiteral("/");

protected:
  // The devices present are read each time the window opens, never while it
  // is closed.
  void showEvent(QShowEvent *event) override;
};
