#include "session/UserCommand.h"

#include "drive/RequestBodies.h"
#include "drive/UserCommandChecks.h"
#include "exchange/ExchangeEngine.h"

UserCommand::UserCommand(TExchangeEngine &engine, QObject *parent) : QObject(parent), engine_(engine) {}

FieldCheck UserCommand::TakeRegister(const std::string &text, std::string &padded) {
  const FieldCheck check = UserCommandChecks::CheckRegister(text, padded);
  invalid_ = !check.Ok();
  return check;
}

FieldCheck UserCommand::TakeCountOrValue(const std::string &text) {
  std::string padded;
  const FieldCheck check = UserCommandChecks::CheckCountOrValue(text, padded);
  invalid_ = !check.Ok();
  if (!invalid_)
    data_ = padded;
  return check;
}

void UserCommand::Send(int address, bool read, const std::string &registerText) {
  engine_.QueueUserCommand(RequestBodies::UserCommand(address, read, registerText, data_));
}
