// The "User's Command" group: one hand-made read or write request to any
// register of any drive, queued for the send timer.
#include "session/UserCommand.h"
#include "app/MainWindow.h"
#include "app/drive/InputFilters.h"
#include "drive/DriveAddress.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

void TForm1::RandWSelect() { LengthOrData->setText(RandW->currentIndex() == 1 ? "Data" : "Length"); }

void TForm1::UdefineMachineExit() {
  const FieldCheck check = DriveAddress::Check(UdefineMachine->currentText().toStdString());
  if (!check.Ok())
    InputFilters::RefuseField(UdefineMachine, check);
}

bool TForm1::UdefineAddrExit() {
  std::string padded;
  const FieldCheck check = OwnCommand->TakeRegister(UdefineAddr->text().toStdString(), padded);
  if (!check.Ok()) {
    InputFilters::RefuseField(UdefineAddr, check);
    return false;
  }
  UdefineAddr->setText(QString::fromStdString(padded));
  return true;
}

bool TForm1::Edit7Exit() {
  const FieldCheck check = OwnCommand->TakeCountOrValue(Edit7->text().toStdString());
  if (!check.Ok()) {
    InputFilters::RefuseField(Edit7, check);
    return false;
  }
  return true;
}

// An address that does not fit the request's two digits (not a number,
// or above 247) is refused with the address box's message.
void TForm1::UserDefineSendClick() {
  const bool registerGood = UdefineAddrExit();
  const bool dataGood = Edit7Exit();
  if (!registerGood || !dataGood)
    return;
  const std::string addressText = UdefineMachine->currentText().toStdString();
  const auto address = DriveAddress::Parse(addressText);
  if (!address) {
    InputFilters::RefuseField(UdefineMachine, FieldCheck::Bad(DriveAddress::RangeMessage, true));
    return;
  }
  OwnCommand->Send(*address, RandW->currentText() == "Read", UdefineAddr->text().toStdString());
}
