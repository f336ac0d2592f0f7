#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <map>
#include <set>

// Who may command drives through the broker: nobody unless the monitor
// accepts commands, and then only the drives listed.
struct CommandPermission {
  bool accept = false;
  std::set<int> addresses;
};

// A control command received on PREFIX/ADDRESS/command, judged before
// anything reaches the line: {"command":"stop","id":"a1","time":"...Z"},
// any name the control subcommand knows, "release":true for a jog's
// release. The id comes back in the result.
struct BrokerCommand {
  int address = 0;
  int code = -1; // a ControlCommand; -1 when refused
  QString name;  // as asked ("jog-fwd release")
  QJsonValue id;
  QString refusal; // why it is not sent; empty when it may be

  // The answer for PREFIX/ADDRESS/command/result: "done", or "refused" or
  // "failed" with the reason.
  QByteArray Result(const QString &outcome, const QString &reason = {}) const;
};

// Judges the commands of one monitor. A command is taken only as it is
// sent: never from the broker's store (retained), never when its time is
// further than FreshSeconds from this clock, and never twice with one id.
class CommandJudge {
public:
  static constexpr int FreshSeconds = 30;

  CommandJudge(const QString &prefix, const CommandPermission &permission);

  BrokerCommand Judge(const QString &topic, const QByteArray &payload, bool retained, const QDateTime &now);

private:
  QString prefix_;
  CommandPermission permission_;
  // The ids taken, with their commands' times, kept while such a command
  // would still be fresh.
  std::map<QString, QDateTime> taken_;

  QString Freshness(const QJsonValue &id, const QJsonValue &time, const QDateTime &now);
};
