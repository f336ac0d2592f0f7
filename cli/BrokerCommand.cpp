#include "cli/BrokerCommand.h"

#include "cli/ControlNames.h"
#include "drive/DriveAddress.h"

#include <QJsonDocument>
#include <QJsonObject>

BrokerCommand BrokerCommand::Judge(const QString &prefix, const QString &topic, const QByteArray &payload,
                                   const CommandPermission &permission) {
  BrokerCommand command;
  // PREFIX/ADDRESS/command
  const QString level = topic.mid(prefix.size() + 1).section('/', 0, 0);
  const std::optional<int> address = DriveAddress::Parse(level.toStdString());
  const QJsonObject asked = QJsonDocument::fromJson(payload).object();
  command.id = asked.value("id");
  command.name = asked.value("command").toString();
  const bool release = asked.value("release").toBool();
  if (release)
    command.name += " release";
  if (!permission.accept) {
    command.refusal = "this monitor takes no commands (started without --accept-commands)";
  } else if (!address || *address == DriveAddress::Broadcast) {
    command.refusal = "\"" + level + "\" is no drive address (1-247)";
  } else if (!permission.addresses.count(*address)) {
    command.refusal =
        QStringLiteral("drive %1 is not among those that take commands (--command-addresses)").arg(*address);
  } else if (!asked.value("command").isString()) {
    command.refusal = R"(not a command: send {"command":"stop"} or another control command)";
  } else if (const std::optional<int> code =
                 ControlNames::CommandNamed(asked.value("command").toString(), release);
             !code) {
    command.refusal = "unknown command \"" + command.name + "\": " + ControlNames::Listed +
                      (release ? QStringLiteral(" (a release goes with a jog)") : QString());
  } else {
    command.address = *address;
    command.code = *code;
  }
  return command;
}

QByteArray BrokerCommand::Result(const QString &outcome, const QString &reason) const {
  QJsonObject result{{"command", name}, {"result", outcome}};
  if (address != 0)
    result.insert("address", address);
  if (!reason.isEmpty())
    result.insert("reason", reason);
  if (!id.isUndefined())
    result.insert("id", id);
  return QJsonDocument(result).toJson(QJsonDocument::Compact);
}
