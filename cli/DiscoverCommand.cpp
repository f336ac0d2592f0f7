// discover: drives whose line settings nobody wrote down, found by reading
// the status block of each address at each line setting chosen.
#include "cli/CliContext.h"
#include "cli/CliError.h"
#include "serial/TcpSerialServer.h"
#include "session/DriveDiscovery.h"

#include <QEventLoop>

namespace {
using namespace CliCommands;
using DiscoveryPlan::LineTrial;

// "1-247" or one address "17".
void ParseRange(const QString &text, int &from, int &to) {
  const QStringList ends = text.split('-');
  bool ok = ends.size() <= 2;
  from = ok ? ParseAddress(ends.first().trimmed(), false) : 0;
  to = ok ? ParseAddress(ends.last().trimmed(), false) : 0;
  if (!ok || from > to)
    throw CliError::BadInput("--range is FROM-TO, addresses 1 to 247 with FROM not above TO, not \"" + text +
                             "\"");
}

QStringList ListOption(const CliArguments &args, const QString &option, const QString &fallback) {
  const QStringList items = args.Value(option, fallback).split(',', Qt::SkipEmptyParts);
  if (items.isEmpty())
    throw CliError::BadInput("--" + option + " names nothing to try");
  return items;
}

// The framing of the line options: what a TCP port is asked in unless
// --modes says otherwise.
QString LineMode(const LineOptions &line) {
  return line.tcp ? QStringLiteral("tcp") : line.rtu ? QStringLiteral("rtu") : QStringLiteral("ascii");
}

DiscoveryPlan::TrialChoice ChoiceFrom(const CliArguments &args, const LineOptions &line) {
  DiscoveryPlan::TrialChoice choice;
  choice.ascii = choice.rtu = false;
  // Over TCP the line, if any, is set on the server: only unit ids are asked.
  const bool overTcp = TcpSerialServer::IsTcpName(line.port);
  for (const char *option : {"bauds", "parities"})
    if (overTcp && args.Has(option))
      throw CliError::BadInput(QStringLiteral("--%1: over a tcp: port the line settings are the server's; "
                                              "only unit ids are asked there")
                                   .arg(option));
  for (const QString &mode : ListOption(args, "modes", overTcp ? LineMode(line) : "ascii,rtu")) {
    if (mode.compare("ascii", Qt::CaseInsensitive) == 0)
      choice.ascii = true;
    else if (mode.compare("rtu", Qt::CaseInsensitive) == 0)
      choice.rtu = true;
    else if (overTcp && mode.compare("tcp", Qt::CaseInsensitive) == 0)
      choice.modbusTcp = true;
    else
      throw CliError::BadInput(
          (overTcp ? "--modes lists ascii, rtu and tcp, not \"" : "--modes lists ascii and rtu, not \"") +
          mode + "\"");
  }
  choice.bauds.clear();
  for (const QString &baud : ListOption(args, "bauds", "1200,2400,4800,9600,19200,38400,57600,115200")) {
    bool ok = false;
    const std::uint32_t rate = baud.toUInt(&ok);
    if (!ok || BaudConstant(rate) == B0)
      throw CliError::BadInput("--bauds: \"" + baud + "\" is no baud rate of a serial port");
    choice.bauds.push_back(rate);
  }
  choice.parities.clear();
  for (const QString &letter : ListOption(args, "parities", "N,E,O")) {
    TParity parity{};
    if (!DiscoveryPlan::ParityFromLetter(letter, parity))
      throw CliError::BadInput("--parities lists N, E and O, not \"" + letter + "\"");
    choice.parities.push_back(parity);
  }
  return choice;
}

Record FoundRecord(const FoundDrive &drive) {
  // Over TCP the line's settings are the server's: not known here.
  const bool ours = !drive.line.overTcp;
  return {{"address", QString::number(drive.address), {}},
          {"mode", DiscoveryPlan::ModeName(drive.line), {}},
          {"baud", ours ? QString::number(drive.line.baud) : QString(), {}},
          {"parity", ours ? DiscoveryPlan::ParityLetter(drive.line.parity) : QString(), {}},
          {"data_bits", ours ? QString::number(drive.line.DataBitCount()) : QString(), {}},
          {"stop_bits", ours ? QString::number(drive.line.StopBitCount()) : QString(), {}},
          {"status", drive.state, {}},
          {"echo", drive.echo ? QStringLiteral("yes") : QStringLiteral("no"), {}}};
}
} // namespace

namespace CliCommands {

int Discover(CliContext &context) {
  const CliArguments &args = context.args;
  DiscoverySearch search;
  search.port = context.line.port;
  ParseRange(args.Value("range", "1-247"), search.from, search.to);
  search.trials = DiscoveryPlan::TrialsFor(search.port, ChoiceFrom(args, context.line));
  if (search.trials.empty())
    throw CliError::BadInput("the modes, rates and parities chosen leave no setting to try");
  search.stopAtFirst = args.Has("first");
  if (args.Has("allowance")) {
    bool ok = false;
    search.allowanceMs = args.Value("allowance").toInt(&ok);
    if (!ok || search.allowanceMs < 0 || search.allowanceMs > 10000)
      throw CliError::BadInput("--allowance must be a whole number from 0 to 10000");
  }

  DriveDiscovery discovery;
  int found = 0;
  QObject::connect(&discovery, &DriveDiscovery::DriveFound, [&](const FoundDrive &drive) {
    ++found;
    context.output.Write(FoundRecord(drive));
  });
  QObject::connect(&discovery, &DriveDiscovery::SuspectAnswer, [&](const SuspectReply &reply) {
    if (!context.quiet)
      Note(QStringLiteral("%1 at %2: %3 (%4): a device at another setting may be here")
               .arg(reply.address)
               .arg(DiscoveryPlan::TrialText(reply.line), reply.why, reply.bytes.trimmed()));
  });
  QObject::connect(&discovery, &DriveDiscovery::LateAnswer, [&](const LateReply &late) {
    Note(QStringLiteral("%1 at %2 answered late, after %3 ms: search again with --allowance %4")
             .arg(late.address)
             .arg(DiscoveryPlan::TrialText(late.line))
             .arg(late.answerMs)
             .arg(late.allowanceMs));
  });
  QObject::connect(&discovery, &DriveDiscovery::LineBusy, [&](int address, const LineTrial &line) {
    Note(QStringLiteral("the line is busy: another master? (at %1, address %2, bytes kept coming)")
             .arg(DiscoveryPlan::TrialText(line))
             .arg(address));
  });
  QObject::connect(&discovery, &DriveDiscovery::Progress,
                   [&](int done, int total, int address, const LineTrial &line) {
                     if (!context.quiet && address == search.from)
                       Note(QStringLiteral("trying %1 (%2 of %3)")
                                .arg(DiscoveryPlan::TrialText(line))
                                .arg(done + 1)
                                .arg(total));
                   });
  QEventLoop loop;
  DiscoveryEnd end = DiscoveryEnd::Searched;
  QString failure;
  QObject::connect(&discovery, &DriveDiscovery::Finished, &loop, [&](DiscoveryEnd how, const QString &why) {
    end = how;
    failure = why;
    loop.quit();
  });
  discovery.Start(search);
  if (discovery.Running())
    loop.exec();
  if (end == DiscoveryEnd::PortFailed)
    throw CliError(CliStatus::PortFailed, "cannot open port: " + failure);
  if (!context.quiet)
    Note(QStringLiteral("drives found: %1, in %2 s")
             .arg(found)
             .arg(discovery.ElapsedMs() / 1000.0, 0, 'f', 1));
  // The addresses left are unknown, drives found or not.
  if (end == DiscoveryEnd::LineLost)
    throw CliError(CliStatus::DriveFailed, failure);
  return found > 0 ? 0 : 1;
}

} // namespace CliCommands
