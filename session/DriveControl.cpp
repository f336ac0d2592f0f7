#include "session/DriveControl.h"

#include "drive/DriveAddress.h"
#include "drive/RequestBodies.h"
#include "exchange/ExchangeEngine.h"
#include "protocol/ConvertError.h"

DriveControl::DriveControl(TExchangeEngine &engine, QObject *parent) : QObject(parent), engine_(engine) {}

bool DriveControl::Issue(ControlCommand command, const QString &addressText) {
  const int address = StrToInt(addressText.toStdString());
  // An address above 247 would not fit the two address digits of the request.
  if (address < DriveAddress::Broadcast || address > DriveAddress::Highest) {
    emit Refused(QString::fromUtf8(DriveAddress::RangeMessage));
    return false;
  }
  engine_.QueueControl(RequestBodies::Control(address, ControlCode(command)));
  lastCommand_ = command;
  return true;
}

std::optional<LampColors> DriveControl::Lamps() const { return LampsAfterCommand(lastCommand_); }
