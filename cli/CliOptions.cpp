#include "cli/CliOptions.h"

#include "cli/CliError.h"

#include <QSet>

namespace {
// Options that take a value; every other known option is a switch.
const QSet<QString> ValueOptions = {"port",
                                    "mode",
                                    "baud",
                                    "data-bits",
                                    "parity",
                                    "stop-bits",
                                    "address",
                                    "timeout",
                                    "table",
                                    "format",
                                    "period",
                                    "count",
                                    "out",
                                    "against",
                                    "repeat",
                                    "interval",
                                    "function",
                                    "stop-on",
                                    "echo",
                                    "range",
                                    "modes",
                                    "bauds",
                                    "parities",
                                    "allowance",
                                    "config",
                                    "mqtt",
                                    "mqtt-ca",
                                    "mqtt-cert",
                                    "mqtt-key",
                                    "mqtt-user",
                                    "mqtt-password-file",
                                    "topic",
                                    "addresses",
                                    "qos",
                                    "state-every",
                                    "lost-after",
                                    "command-addresses",
                                    "event-queue"};
const QSet<QString> Switches = {"quiet",        "verbose", "broadcast", "release",        "verify",
                                "skip-refused", "help",    "first",     "accept-commands"};
} // namespace

namespace CliOptions {

bool TakesValue(const QString &name) { return ValueOptions.contains(name); }
bool IsSwitch(const QString &name) { return Switches.contains(name); }

int Number(const CliArguments &args, const QString &option, int least, int most, int fallback) {
  if (!args.Has(option))
    return fallback;
  bool ok = false;
  const int value = args.Value(option).toInt(&ok);
  if (!ok || value < least || value > most)
    throw CliError::BadInput(
        QStringLiteral("--%1 must be a whole number from %2 to %3").arg(option).arg(least).arg(most));
  return value;
}

CliArguments Parse(const QStringList &arguments) {
  CliArguments parsed;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString &argument = arguments[i];
    if (!argument.startsWith("--") || argument == "--") {
      if (parsed.command.isEmpty())
        parsed.command = argument;
      else
        parsed.words << argument;
      continue;
    }
    QString name = argument.mid(2);
    QString value;
    const qsizetype equals = name.indexOf('=');
    const bool inline_ = equals >= 0;
    if (inline_) {
      value = name.mid(equals + 1);
      name.truncate(equals);
    }
    if (ValueOptions.contains(name)) {
      if (!inline_) {
        if (i + 1 >= arguments.size())
          throw CliError::BadInput("--" + name + " needs a value");
        value = arguments[++i];
      }
    } else if (!Switches.contains(name)) {
      throw CliError::BadInput("unknown option " + argument);
    } else if (inline_) {
      throw CliError::BadInput("--" + name + " takes no value");
    }
    parsed.options.insert(name, value);
  }
  if (parsed.command.isEmpty() && !parsed.Has("help"))
    throw CliError::BadInput("no subcommand given (try --help)");
  return parsed;
}

QString Usage() {
  return QStringLiteral(
      "Usage: vossek-drive-cli SUBCOMMAND [ARGUMENTS] [OPTIONS]\n"
      "\n"
      "Subcommands:\n"
      "  status [ADDR...]                 the status block of each drive (default: --address)\n"
      "  scan RANGE|LIST                  status of several drives, one record per reply;\n"
      "       [--period MS] [--count N]   RANGE 1-5, LIST 1,3,4; N rounds (0: until stopped)\n"
      "  read CODE...                     parameters by code (F113), in the table's decimals\n"
      "  write CODE=VALUE...              parameters, checked against the table's range first;\n"
      "                                   \".\" before decimals (\",\" too where the locale uses it)\n"
      "  control COMMAND [--broadcast]    fwd, rev, stop, free-stop, start, reset, jog-fwd,\n"
      "          [--release]              jog-rev (--release: let go of the jog)\n"
      "  backup --out FILE.dbf            read all into a copy of the table (a regular file\n"
      "         [--skip-refused]          or a new name); --skip-refused: parameters the drive\n"
      "                                   refuses are left out and listed\n"
      "  restore FILE.dbf [--verify]      write all from FILE.dbf, then read back and compare\n"
      "  compare FILE.dbf                 differences of FILE.dbf against the defaults or\n"
      "          [--against defaults|FILE.dbf]  another parameter set\n"
      "  run LIST                         a command list (usercmd.dbf, .xlsx or .xls):\n"
      "      [--repeat N] [--interval MS] N passes (0: until stopped), MS between steps,\n"
      "      [--function read|write]      Function column rows instead of Command rows,\n"
      "      [--stop-on error,timeout|none]  end the run at an error reply or a time-out\n"
      "  discover [--range 1-247]         drives at unknown line settings: the status read at\n"
      "      [--modes ascii,rtu]          each address for each setting chosen, likely ones\n"
      "      [--bauds 9600,19200,...]     first (all rates, N, E, O and both modes unless\n"
      "      [--parities N,E,O]           narrowed); one record per drive found:\n"
      "      [--first] [--allowance MS]   address,mode,baud,parity,data_bits,stop_bits,\n"
      "                                   status,echo; --first: stop at the first drive;\n"
      "                                   MS: a drive's time to start its reply (default\n"
      "                                   25); over tcp: ports unit ids only\n"
      "  monitor [--addresses RANGE|LIST] poll drives without end and publish to an MQTT broker:\n"
      "      [--period MS]                PREFIX/ADDR/state (retained; on change and at least\n"
      "      [--state-every S]            every S seconds, default 10; 0: every reading),\n"
      "      [--lost-after K]             PREFIX/ADDR/event (trip, fault cleared, lost after K\n"
      "      [--topic PREFIX]             polls without reply (default 3), back), PREFIX/monitor\n"
      "      [--mqtt mqtt://HOST:PORT]    (online/offline, port, requests, errors, time-outs).\n"
      "      [--mqtt-ca FILE]             MS: from one round's start to the next (default 0: at\n"
      "      [--mqtt-cert FILE --mqtt-key FILE]  line rate); PREFIX default vossek/PORTNAME;\n"
      "      [--mqtt-user NAME]           broker default mqtt://localhost:1883, mqtts:// for\n"
      "      [--mqtt-password-file FILE]  TLS; --qos 0|1 (default 0); --event-queue N: events\n"
      "      [--qos 0|1] [--event-queue N]   kept while the broker is away (default 1000);\n"
      "      [--accept-commands           control commands on PREFIX/ADDR/command, answered on\n"
      "       --command-addresses LIST]   .../command/result, only for the drives listed\n"
      "\n"
      "Options (line defaults from database1/com_pro.dbf beside the program, else the\n"
      "delivered settings):\n"
      "  --port NAME          COMn, a device path or tcp:HOST:PORT\n"
      "  --mode ascii|rtu|tcp --baud N   --data-bits 7|8   --parity N|O|E   --stop-bits 1|2\n"
      "  --address N          drive address 1-247 (default from database1/dspara.dbf, else 1)\n"
      "  --timeout MS         reply window (default from com_pro.dbf, else 500)\n"
      "  --echo off|on|detect what is done with requests the adapter hands back before\n"
      "                       the reply: kept apart from replies (off), discarded (on),\n"
      "                       discarded once a read shows it (detect); default from\n"
      "                       database1/preferences.ini, else off\n"
      "  --table FILE         parameter table (default database1/RM40.DBF)\n"
      "  --format text|csv|json  records as text, comma-separated values or JSON lines\n"
      "  --config FILE        options from an INI file (key = option name); the command\n"
      "                       line wins\n"
      "  --quiet              no summaries or progress on stderr\n"
      "  --verbose            every frame on stderr, as the history pane shows it\n"
      "  --help               this text\n"
      "\n"
      "Exit status: 0 success, 1 a drive answered with an error or did not answer,\n"
      "2 bad usage or input (nothing was sent), 3 the port could not be opened (monitor:\n"
      "the broker refused the credentials, or its certificate did not match).\n");
}

} // namespace CliOptions
