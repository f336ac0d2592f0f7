#include "cli/BrokerCommand.h"

#include "cli/ControlNames.h"
#include "cli/NetworkText.h"
#include "drive/DriveAddress.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <cmath>

namespace {
// Ids beyond this many within the window are not remembered but refused:
// the memory of a monitor stays bounded whatever is sent to it.
constexpr std::size_t MostTaken = 10000;
// A command is a few dozen bytes; more is not a command.
constexpr int MostCommandBytes = 512;
constexpr int MostTextChars = 32;
constexpr int MostIdChars = 64;

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

// Members of a JSON object of plain values, counted in its text: more than
// the parsed object holds means a key given twice, where the parser would
// have kept one of them silently.
int MembersWritten(const QByteArray &text) {
  int members = 0;
  bool inString = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString && c == '\\')
      ++i;
    else if (c == '"')
      inString = !inString;
    else if (!inString && c == ':')
      ++members;
  }
  return members;
}

// The command's JSON taken strictly: an object of the known keys alone,
// each once and of its type. Empty when it holds, else why not.
QString Strictly(const QByteArray &payload, QJsonObject &asked) {
  if (payload.size() > MostCommandBytes)
    return QStringLiteral("larger than %1 bytes").arg(MostCommandBytes);
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject())
    return R"(not a JSON object: send {"command":"stop","id":...,"time":...}; got ")" +
           NetworkText(payload, 24) + "\"";
  asked = document.object();
  for (auto member = asked.constBegin(); member != asked.constEnd(); ++member) {
    const QString &key = member.key();
    const QJsonValue value = member.value();
    const double number = value.toDouble();
    if (key == "command" || key == "time") {
      if (!value.isString() || value.toString().size() > MostTextChars)
        return "\"" + key + "\" is a short text";
    } else if (key == "release") {
      if (!value.isBool())
        return R"("release" is true or false)";
    } else if (key == "id") {
      if (!(value.isString() && value.toString().size() <= MostIdChars) &&
          !(value.isDouble() && number == std::floor(number) && std::abs(number) < 1e15))
        return QStringLiteral(R"("id" is a text of up to %1 characters or a whole number)").arg(MostIdChars);
    } else {
      return "unknown key \"" + NetworkText(key, 16) + "\" (command, release, id and time are known)";
    }
  }
  if (MembersWritten(payload) != asked.size())
    return "a key given twice";
  return {};
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
  QJsonObject asked;
  const QString malformed = Strictly(payload, asked);
  command.id = asked.value("id");
  command.name = NetworkText(asked.value("command").toString(), MostTextChars);
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
  } else if (!malformed.isEmpty()) {
    command.refusal = malformed;
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
