#include "cli/BrokerCommand.h"

#include "cli/ControlNames.h"
#include "cli/NetworkText.h"
#include "drive/DriveAddress.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
// Ids beyond this many within the window are not remembered but refused:
// the memory of a monitor stays bounded whatever is sent to it.
constexpr std::size_t MostTaken = 10000;

// The address level of a topic in one spelling only: "2", never "02",
// "0x02" or " 2", so that a broker's rule for PREFIX/2/command cannot be
// passed by another spelling of the same drive.
std::optional<int> TopicAddress(const QString &level) {
  if (level.isEmpty() || level.size() > 3 || level.startsWith('0'))
    return std::nullopt;
  for (const QChar c : level)
    if (c < '0' || c > '9')
      return std::nullopt;
  const int address = level.toInt();
  return address <= DriveAddress::Highest ? std::optional<int>(address) : std::nullopt;
}
} // namespace

CommandJudge::CommandJudge(const QString &prefix, const CommandPermission &permission)
    : prefix_(prefix), permission_(permission) {}

QString CommandJudge::Freshness(const QJsonValue &id, const QJsonValue &time, const QDateTime &now) {
  if (!id.isString() && !id.isDouble())
    return R"(no "id": each command carries an id of its own and its "time")";
  // UTC only: a time without its zone would be read in this machine's.
  const QDateTime sent = QDateTime::fromString(time.toString(), Qt::ISODateWithMs);
  if (!time.isString() || !time.toString().endsWith('Z') || !sent.isValid())
    return R"(no "time": the UTC time it was sent, as 2026-01-31T12:00:00Z)";
  const qint64 ageSeconds = sent.secsTo(now);
  if (ageSeconds > FreshSeconds)
    return QStringLiteral("too old: sent %1 s ago, commands are taken within %2 s")
        .arg(ageSeconds)
        .arg(FreshSeconds);
  if (-ageSeconds > FreshSeconds)
    return QStringLiteral("sent %1 s ahead of this monitor's clock (more than %2 s)")
        .arg(-ageSeconds)
        .arg(FreshSeconds);
  // An id need be remembered only while its command would be fresh.
  const QDateTime oldest = now.addSecs(-FreshSeconds);
  std::erase_if(taken_, [&](const auto &entry) { return entry.second < oldest; });
  const QString key = id.isString() ? "s" + id.toString() : "n" + QString::number(id.toDouble(), 'g', 17);
  if (taken_.count(key))
    return "id already taken: a command runs once";
  if (taken_.size() >= MostTaken)
    return "too many commands within the last seconds";
  taken_.emplace(key, sent);
  return {};
}

BrokerCommand CommandJudge::Judge(const QString &topic, const QByteArray &payload, bool retained,
                                  const QDateTime &now) {
  BrokerCommand command;
  // PREFIX/ADDRESS/command
  const QString level = topic.mid(prefix_.size() + 1).section('/', 0, 0);
  const std::optional<int> address = TopicAddress(level);
  const QJsonObject asked = QJsonDocument::fromJson(payload).object();
  command.id = asked.value("id");
  command.name = asked.value("command").toString();
  const bool release = asked.value("release").toBool();
  if (release)
    command.name += " release";
  if (retained) {
    command.refusal = "retained";
  } else if (!permission_.accept) {
    command.refusal = "this monitor takes no commands (started without --accept-commands)";
  } else if (!address || *address == DriveAddress::Broadcast) {
    command.refusal = "\"" + NetworkText(level, 12) + "\" is no drive address (1-247, as 7, never 07)";
  } else if (!permission_.addresses.count(*address)) {
    command.refusal =
        QStringLiteral("drive %1 is not among those that take commands (--command-addresses)").arg(*address);
  } else if (!asked.value("command").isString()) {
    command.refusal = R"(not a command: send {"command":"stop"} or another control command)";
  } else if (const std::optional<int> code =
                 ControlNames::CommandNamed(asked.value("command").toString(), release);
             !code) {
    command.refusal = "unknown command \"" + command.name + "\": " + ControlNames::Listed +
                      (release ? QStringLiteral(" (a release goes with a jog)") : QString());
  } else if (const QString stale = Freshness(command.id, asked.value("time"), now); !stale.isEmpty()) {
    command.refusal = stale;
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
