#include "cli/CliProgram.h"

#include "base/AppPaths.h"
#include "cli/CliContext.h"
#include "cli/CliError.h"
#include "cli/ConfigFile.h"
#include "drive/DriveAddress.h"
#include "serial/TcpSerialServer.h"
#include "settings/LinePreferences.h"
#include "settings/Preferences.h"
#include "settings/SettingsReport.h"
#include "settings/ShippedTables.h"
#include "settings/TableStore.h"

#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <optional>

namespace {
using namespace CliCommands;

const QStringList BaudRates = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};

// The settings as stored beside the program; the delivered values when the
// table is missing. A value that cannot be read keeps its delivered value and
// is reported in `reports`, as the window reports it at its start.
template <typename Settings, typename Reader>
Settings StoredSettings(const QString &file, Reader read, QStringList &reports) {
  const QString folder = AppPaths::DataFolder();
  if (!QFileInfo(folder + file).isFile())
    return Settings{};
  Settings settings;
  TTableConnection connection;
  TTableQuery query(&connection);
  const QString report = ReadSettingsTable(query, file, [&](QStringList &problems) {
    connection.SetConnectionString(TTableConnection::ConnectionTextFor(folder));
    connection.Open();
    settings = read(query, problems);
  });
  if (!report.isEmpty())
    reports << report;
  return settings;
}

int Choice(const CliArguments &args, const QString &option, const QStringList &choices, int fallback) {
  if (!args.Has(option))
    return fallback;
  const qsizetype index = choices.indexOf(args.Value(option).toUpper());
  if (index < 0)
    throw CliError::BadInput("--" + option + " must be one of " + choices.join(", ").toLower());
  return static_cast<int>(index);
}

LineOptions LineFrom(const CliArguments &args, const TProtocolSettings &stored) {
  LineOptions line;
  line.port =
      args.Value("port", stored.comPortName.isEmpty() ? QStringLiteral("COM%1").arg(stored.comPort + 1)
                                                      : stored.comPortName);
  // what the window chose beyond the table: TCP for its RTU, the echo
  const Preferences preferences(AppPaths::DataFolder());
  const int mode = Choice(args, "mode", {"ASCII", "RTU", "TCP"},
                          LinePreferences::ModeIndex(preferences, stored.modbusMode));
  line.rtu = mode >= 1;
  line.tcp = mode == 2;
  // Found before the port is opened: a slip in the name is no port failing,
  // and Modbus TCP frames would mean nothing to a drive on a serial line.
  if (TcpSerialServer::IsTcpName(line.port) && !TcpSerialServer::ParseName(line.port))
    throw CliError::BadInput(line.port + ": no TCP address; write tcp:HOST:PORT (port 1 to 65535), or " +
                             "tcp:HOST for port " + QString::number(TcpSerialServer::DefaultPort));
  if (line.tcp && !TcpSerialServer::IsTcpName(line.port))
    throw CliError::BadInput("Modbus TCP (--mode tcp) needs a port tcp:HOST:PORT; " + line.port +
                             " is a serial line: choose --mode rtu or --mode ascii for it");
  const int dataBits = CliOptions::Number(args, "data-bits", 7, 8, line.rtu ? 8 : 7);
  if (dataBits != (line.rtu ? 8 : 7))
    throw CliError::BadInput(line.rtu ? "RTU uses 8 data bits" : "ASCII uses 7 data bits");
  const QString storedBaud = BaudRates.value(stored.userBaud, "9600");
  line.baud = static_cast<std::uint32_t>(CliOptions::Number(args, "baud", 1, 4000000, storedBaud.toInt()));
  line.parity = static_cast<TParity>(Choice(args, "parity", {"N", "O", "E"}, stored.userParity));
  line.stopBits =
      Choice(args, "stop-bits", {"1", "2"}, stored.userStopBit) == 1 ? TStopBits::_2 : TStopBits::_1;
  line.timeoutMs = CliOptions::Number(args, "timeout", 1, 600000, stored.timeoutMs);
  line.verbose = args.Has("verbose");
  line.quiet = args.Has("quiet");
  // a stored word the program does not know reads as delivered, as in the window
  line.echo =
      LineEchoModeOf(LinePreferences::EchoWord(preferences).toStdString()).value_or(LineEcho::Mode::Off);
  if (args.Has("echo")) {
    const std::optional<LineEcho::Mode> mode = LineEchoModeOf(args.Value("echo").toStdString());
    if (!mode)
      throw CliError::BadInput("--echo must be off, on or detect");
    line.echo = *mode;
  }
  return line;
}

// --table, else the data folder's RM40.DBF, else the installed template,
// else the delivered table, made in `scratch` (a folder made only then).
QString TablePath(const CliArguments &args, std::optional<QTemporaryDir> &scratch) {
  if (args.Has("table"))
    return args.Value("table");
  for (const QString &folder : {AppPaths::DataFolder(), AppPaths::TemplateFolder()})
    if (QFileInfo(folder + "RM40.DBF").isFile())
      return folder + "RM40.DBF";
  scratch.emplace();
  CreateRm40Table(scratch->path().toStdString());
  return scratch->filePath("RM40.DBF");
}

// The drive address stored for the window; 1 when it names no single drive.
int StoredAddress(const QString &text) {
  const std::optional<int> address = DriveAddress::Parse(text.toStdString());
  return address && *address != DriveAddress::Broadcast ? *address : 1;
}

const QMap<QString, std::function<int(CliContext &)>> &Commands() {
  static const QMap<QString, std::function<int(CliContext &)>> commands = {
      {"status", Status}, {"scan", Scan},         {"control", Control}, {"read", Read},
      {"write", Write},   {"backup", Backup},     {"restore", Restore}, {"compare", Compare},
      {"run", Run},       {"discover", Discover}, {"monitor", Monitor}};
  return commands;
}
} // namespace

namespace CliProgram {

int Run(const QStringList &arguments) {
  try {
    CliContext context;
    context.args = CliOptions::Parse(arguments);
    if (context.args.Has("help") || context.args.command == "help") {
      std::fputs(CliOptions::Usage().toUtf8().constData(), stdout);
      return 0;
    }
    if (context.args.Has("config"))
      ConfigFile::AddOptions(context.args, context.args.Value("config"));
    const auto command = Commands().constFind(context.args.command);
    if (command == Commands().constEnd())
      throw CliError::BadInput("unknown subcommand \"" + context.args.command + "\" (try --help)");

    QStringList settingsReports;
    context.stored = StoredSettings<TProtocolSettings>("com_pro.dbf", ReadProtocolSettings, settingsReports);
    // dspara.dbf is read only when it gives the address.
    TDriveSettings drive;
    if (!context.args.Has("address"))
      drive = StoredSettings<TDriveSettings>("dspara.dbf", ReadDriveSettings, settingsReports);
    if (!settingsReports.isEmpty())
      Note(SettingsReportIntro + '\n' + settingsReports.join('\n'));
    context.line = LineFrom(context.args, context.stored);
    context.address = context.args.Has("address") ? ParseAddress(context.args.Value("address"), false)
                                                  : StoredAddress(drive.machineId);
    context.output = RecordOutput(RecordOutput::ParseFormat(context.args.Value("format", "text")));
    context.quiet = context.args.Has("quiet");
    std::optional<QTemporaryDir> scratch;
    context.tablePath = TablePath(context.args, scratch);
    // A table made in the scratch folder is gone when the program ends; its
    // path would mean nothing to the user.
    context.tableName = scratch ? QString("the delivered parameter table") : context.tablePath;
    return (*command)(context);
  } catch (const CliError &e) {
    std::fprintf(stderr, "vossek-drive-cli: %s\n", e.what());
    return static_cast<int>(e.Status());
  } catch (const std::exception &e) {
    std::fprintf(stderr, "vossek-drive-cli: %s\n", e.what());
    return static_cast<int>(CliStatus::DriveFailed);
  }
}

} // namespace CliProgram
