#pragma once

#include "drive/FieldCheck.h"

#include <QObject>
#include <string>

class TExchangeEngine;

// The user's own command: one hand-made read or write request to any
// register of any drive, queued for the tick; its reply is only logged.
// Only the latest request waits: a second one before the tick replaces it.
class UserCommand : public QObject {
  Q_OBJECT
public:
  explicit UserCommand(TExchangeEngine &engine, QObject *parent = nullptr);

  // The register field's text; a good one yields it as four hex digits.
  FieldCheck TakeRegister(const std::string &text, std::string &padded);
  // The count (read) or value (write); a good one is kept for the request,
  // while the field keeps the text as typed.
  FieldCheck TakeCountOrValue(const std::string &text);
  // A field checked last was refused.
  bool Invalid() const { return invalid_; }
  // Queues the request for the drive at `address` with the fields taken last.
  void Send(int address, bool read, const std::string &registerText);

private:
  TExchangeEngine &engine_;
  std::string data_;
  bool invalid_ = false;
};
