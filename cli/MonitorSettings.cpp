#include "cli/MonitorSettings.h"

#include "cli/CliContext.h"
#include "cli/CliError.h"

#include <QFile>
#include <QUrl>

namespace {
// mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883, TLS).
void TakeBrokerAddress(const QString &text, BrokerSettings &broker) {
  const QUrl url(text, QUrl::StrictMode);
  const QString scheme = url.scheme();
  if (!url.isValid() || (scheme != "mqtt" && scheme != "mqtts") || url.host().isEmpty() ||
      (!url.path().isEmpty() && url.path() != "/"))
    throw CliError::BadInput("--mqtt \"" + text + "\": mqtt://HOST:PORT or mqtts://HOST:PORT");
  broker.tls = scheme == "mqtts";
  broker.host = url.host();
  broker.port = url.port(broker.tls ? 8883 : 1883);
}

QString FirstLine(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw CliError::BadInput("--mqtt-password-file " + path + ": " + file.errorString());
  return QString::fromUtf8(file.readLine()).remove('\n').remove('\r');
}
} // namespace

QString PortTopicName(const QString &port) {
  QString name = port.startsWith("/") ? port.section('/', -1) : port;
  name.replace(':', '-');
  name.remove('+').remove('#').remove('/');
  return name.isEmpty() ? QStringLiteral("port") : name;
}

MonitorSettings MonitorSettings::From(const CliArguments &args, const QString &port, int address) {
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
  broker.user = args.Value("mqtt-user");
  if (args.Has("mqtt-password-file")) {
    if (broker.user.isEmpty())
      throw CliError::BadInput("--mqtt-password-file goes with --mqtt-user");
    broker.passwordFile = args.Value("mqtt-password-file");
    broker.password = FirstLine(broker.passwordFile);
  }
  broker.qos = CliOptions::Number(args, "qos", 0, 1, 0);
  broker.eventBound = CliOptions::Number(args, "event-queue", 0, 1000000, DefaultEventQueue);
  broker.quiet = args.Has("quiet");

  settings.prefix = args.Value("topic", "vossek/" + PortTopicName(port));
  if (settings.prefix.isEmpty() || settings.prefix.contains('+') || settings.prefix.contains('#') ||
      settings.prefix.endsWith('/'))
    throw CliError::BadInput("--topic \"" + settings.prefix + "\": a topic without +, # or a closing /");
  broker.willTopic = settings.prefix + "/monitor";
  broker.willPayload = R"({"status":"offline","reason":"connection lost"})";

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
