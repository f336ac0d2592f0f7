#pragma once

#include "drive/ControlLamps.h"

#include <QObject>
#include <QString>
#include <optional>

class TExchangeEngine;

// The drive's control commands (start, stop, jog, reset and the rest): each
// is queued for the drive at the address given and goes out before anything
// else at the next tick; once answered, it says what the lamps show.
class DriveControl : public QObject {
  Q_OBJECT
public:
  explicit DriveControl(TExchangeEngine &engine, QObject *parent = nullptr);

  // Queues `command` for the drive at `addressText`. The command is queued
  // only once its request is complete: an address that is no number raises
  // the conversion error before anything changes, so a pending command never
  // lacks its address; one out of range is refused, told by Refused.
  bool Issue(ControlCommand command, const QString &addressText);
  // The lamps after the command sent last, when it has lamps of its own.
  std::optional<LampColors> Lamps() const;
  // The command queued last (1 to 11); 0 before the first.
  int LastCommand() const { return lastCommand_; }

signals:
  void Refused(const QString &message);

private:
  TExchangeEngine &engine_;
  int lastCommand_ = 0;
};
