#include "cli/MonitorSettings.h"

#include "cli/CliContext.h"
#include "cli/CliError.h"
#include "cli/NetworkText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QUrl>
#include <mosquitto.h>

namespace {
// A password or key file is small; anything larger is the wrong file (or a
// device that never ends).
constexpr qint64 MostSecretBytes = 64 * 1024;
// Room for PREFIX/ADDR/command/result within what a broker takes.
constexpr int MostTopicBytes = 1000;

// What the monitor is told beside the line's options; any other
// subcommand's option is a mistake, not something to ignore.
const QStringList MonitorOptions =
    QStringLiteral(
        "port mode baud data-bits parity stop-bits address timeout table echo config quiet verbose "
        "help mqtt mqtt-ca mqtt-cert mqtt-key mqtt-user mqtt-password-file topic addresses period "
        "qos state-every lost-after event-queue accept-commands command-addresses")
        .split(' ');

// mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883, TLS).
void TakeBrokerAddress(const QString &text, BrokerSettings &broker) {
  const QUrl url(text, QUrl::StrictMode);
  const QString scheme = url.scheme();
  if (!url.userInfo().isEmpty())
    throw CliError::BadInput("--mqtt: no user or password in the broker's address (anyone sees it in the "
                             "process list): use --mqtt-user and --mqtt-password-file");
  if (!url.isValid() || (scheme != "mqtt" && scheme != "mqtts") || url.host().isEmpty() ||
      (!url.path().isEmpty() && url.path() != "/"))
    throw CliError::BadInput("--mqtt \"" + NetworkText(text, 200) +
                             "\": mqtt://HOST:PORT or mqtts://HOST:PORT");
  broker.tls = scheme == "mqtts";
  broker.host = url.host();
  broker.port = url.port(broker.tls ? 8883 : 1883);
}

// The content of a small regular file given by --option; CliError otherwise.
QByteArray SmallFile(const QString &option, const QString &path) {
  const QFileInfo info(path);
  QFile file(path);
  if (!info.isFile())
    throw CliError::BadInput(
        "--" + option + " " + path + ": " +
        (info.exists() ? QStringLiteral("not a regular file") : QStringLiteral("not found")));
  if (info.size() > MostSecretBytes)
    throw CliError::BadInput("--" + option + " " + path + ": larger than 64 KiB, not such a file");
  if (!file.open(QIODevice::ReadOnly))
    throw CliError::BadInput("--" + option + " " + path + ": " + file.errorString());
  return file.read(MostSecretBytes);
}

QString Password(const QString &path) {
  const QByteArray content = SmallFile("mqtt-password-file", path);
  if (QFileInfo(path).permissions() & QFileDevice::ReadOther)
    CliCommands::Note("warning: --mqtt-password-file " + path +
                      " can be read by every user of this machine (chmod o-r)");
  return QString::fromUtf8(content.left(content.indexOf('\n'))).remove('\r');
}

// A service has no one to type a passphrase: an encrypted key is refused
// here rather than left to ask on a terminal that is not there.
void CheckTlsFiles(const BrokerSettings &broker) {
  if (!broker.caFile.isEmpty())
    SmallFile("mqtt-ca", broker.caFile);
  if (!broker.certFile.isEmpty())
    SmallFile("mqtt-cert", broker.certFile);
  if (!broker.keyFile.isEmpty() && SmallFile("mqtt-key", broker.keyFile).contains("ENCRYPTED"))
    throw CliError::BadInput("--mqtt-key " + broker.keyFile +
                             " is encrypted: a service has no one to type its passphrase (give a key "
                             "without one, readable by the service alone)");
}

void CheckTopic(const QString &prefix) {
  const QByteArray longest = (prefix + "/247/command/result").toUtf8();
  bool printable = true;
  for (const QChar c : prefix)
    printable = printable && c.isPrint();
  if (prefix.isEmpty() || !printable || prefix.startsWith('$') || prefix.endsWith('/') ||
      prefix.toUtf8().size() > MostTopicBytes ||
      mosquitto_pub_topic_check2(longest.constData(), static_cast<size_t>(longest.size())) !=
          MOSQ_ERR_SUCCESS)
    throw CliError::BadInput("--topic \"" + NetworkText(prefix, 60) +
                             "\": a topic of printable characters without +, #, a leading $ or a "
                             "closing / (at most 1000 bytes)");
}
} // namespace

QString PortTopicName(const QString &port) {
  QString name = port.startsWith("/") ? port.section('/', -1) : port;
  name.replace(':', '-');
  name.remove('+').remove('#').remove('/');
  return name.isEmpty() ? QStringLiteral("port") : name;
}

MonitorSettings MonitorSettings::From(const CliArguments &args, const QString &port, int address) {
  for (const QString &option : args.options.keys())
    if (!MonitorOptions.contains(option))
      throw CliError::BadInput("--" + option + " is not an option of monitor");
  MonitorSettings settings;
  BrokerSettings &broker = settings.broker;
  TakeBrokerAddress(args.Value("mqtt", "mqtt://localhost:1883"), broker);
  for (const char *option : {"mqtt-ca", "mqtt-cert", "mqtt-key"})
    if (args.Has(option) && !broker.tls)
      throw CliError::BadInput(QStringLiteral("--%1 goes with an mqtts:// broker").arg(option));
  broker.caFile = args.Value("mqtt-ca");
  broker.certFile = args.Value("mqtt-cert");
  broker.keyFile = args.Value("mqtt-key");
  if (broker.certFile.isEmpty() != broker.keyFile.isEmpty())
    throw CliError::BadInput("--mqtt-cert and --mqtt-key go together");
  CheckTlsFiles(broker);
  broker.user = args.Value("mqtt-user");
  if (args.Has("mqtt-password-file")) {
    if (broker.user.isEmpty())
      throw CliError::BadInput("--mqtt-password-file goes with --mqtt-user");
    broker.passwordFile = args.Value("mqtt-password-file");
    broker.password = Password(broker.passwordFile);
  }
  broker.qos = CliOptions::Number(args, "qos", 0, 1, 0);
  broker.eventBound = CliOptions::Number(args, "event-queue", 0, 1000000, DefaultEventQueue);
  broker.quiet = args.Has("quiet");

  settings.prefix = args.Value("topic", "vossek/" + PortTopicName(port));
  CheckTopic(settings.prefix);
  broker.willTopic = broker.claimTopic = settings.prefix + "/monitor";
  broker.monitorId = QSysInfo::machineHostName() + ":" + port;
  broker.run = QString::number(QRandomGenerator::system()->generate64(), 36);
  broker.willPayload = QJsonDocument(QJsonObject{{"status", "offline"},
                                                 {"reason", "connection lost"},
                                                 {"monitor_id", broker.monitorId},
                                                 {"run", broker.run}})
                           .toJson(QJsonDocument::Compact);

  settings.addresses =
      args.Has("addresses") ? CliCommands::AddressList(args.Value("addresses")) : std::vector<int>{address};
  settings.periodMs = CliOptions::Number(args, "period", 0, 86400000, 0);
  settings.stateEverySeconds = CliOptions::Number(args, "state-every", 0, 86400, DefaultStateEverySeconds);
  settings.lostAfter = CliOptions::Number(args, "lost-after", 1, 1000, DefaultLostAfter);
  settings.commands.accept = args.Has("accept-commands");
  if (args.Has("command-addresses")) {
    const std::vector<int> allowed = CliCommands::AddressList(args.Value("command-addresses"));
    settings.commands.addresses.insert(allowed.begin(), allowed.end());
  }
  if (settings.commands.accept && settings.commands.addresses.empty())
    throw CliError::BadInput("--accept-commands needs --command-addresses: the drives that may be commanded");
  return settings;
}
