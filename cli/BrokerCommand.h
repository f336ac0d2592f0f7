#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <set>

// Who may command drives through the broker: nobody unless the monitor
// accepts commands, and then only the drives listed.
struct CommandPermission {
  bool accept = false;
  std::set<int> addresses;
};

// A control command received on PREFIX/ADDRESS/command, judged before
// anything reaches the line: {"command":"stop"}, any name the control
// subcommand knows, "release":true for a jog's release, an optional "id"
// given back in the result.
struct BrokerCommand {
  int address = 0;
  int code = -1; // a ControlCommand; -1 when refused
  QString name;  // as asked ("jog-fwd release")
  QJsonValue id;
  QString refusal; // why it is not sent; empty when it may be

  static BrokerCommand Judge(const QString &prefix, const QString &topic, const QByteArray &payload,
                             const CommandPermission &permission);

  // The answer for PREFIX/ADDRESS/command/result: "done", or "refused" or
  // "failed" with the reason.
  QByteArray Result(const QString &outcome, const QString &reason = {}) const;
};
