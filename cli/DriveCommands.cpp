// status, scan and control: the drive's status block and its control
// register, one request per drive through the link.
#include "cli/CliContext.h"
#include "cli/CliError.h"
#include "cli/ControlNames.h"
#include "cli/StatusRecord.h"
#include "drive/ControlLamps.h"
#include "drive/DriveAddress.h"
#include "drive/RequestBodies.h"
#include "drive/ScanList.h"
#include "drive/StatusDecoding.h"
#include "log/HistoryText.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

namespace CliCommands {

void Note(const QString &text) {
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
  std::fflush(stderr);
}

int ParseAddress(const QString &text, bool broadcastAllowed) {
  const std::optional<int> address = DriveAddress::Parse(text.toStdString());
  if (!address || (*address == DriveAddress::Broadcast && !broadcastAllowed))
    throw CliError::BadInput("drive address \"" + text + "\": " +
                             (broadcastAllowed ? DriveAddress::RangeMessage : "Invalid data!  Range:1-247!"));
  return *address;
}

void WaitUntil(const QElapsedTimer &clock, qint64 ms) {
  const qint64 left = ms - clock.elapsed();
  if (left <= 0)
    return;
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(left), &loop, &QEventLoop::quit);
  loop.exec();
}

std::optional<DriveStatusTexts> StatusOf(const ExchangeOutcome &outcome) {
  if (outcome.kind != ExchangeOutcome::Kind::Accepted || outcome.bytes.size() < StatusReplyLength ||
      outcome.bytes[2] != StatusBlockByteCount)
    return std::nullopt;
  return DecodeStatusReply(outcome.bytes.data(), ".");
}

QString NoStatusReason(CliContext &context, const ExchangeOutcome &outcome) {
  return outcome.kind == ExchangeOutcome::Kind::Accepted ? QStringLiteral("not a status block")
                                                         : OutcomeText(context, outcome);
}

QString OutcomeText(CliContext &context, const ExchangeOutcome &outcome) {
  const bool unanswered =
      outcome.kind == ExchangeOutcome::Kind::Missing || outcome.kind == ExchangeOutcome::Kind::Refused;
  if (const QString lost = unanswered ? context.Link().LineLost() : QString(); !lost.isEmpty())
    return lost;
  switch (outcome.kind) {
  case ExchangeOutcome::Kind::Missing:
    return HistoryText::NoResponseWords();
  case ExchangeOutcome::Kind::Rejected:
    return QStringLiteral("%1 (reply %2)")
        .arg(QString::fromStdString(RejectionWords(outcome.rejection)), outcome.replyText);
  case ExchangeOutcome::Kind::Refused:
    return "not sent: " + outcome.refusal;
  case ExchangeOutcome::Kind::Accepted:
  case ExchangeOutcome::Kind::Broadcast:
    break;
  }
  return {};
}

} // namespace CliCommands

void CliContext::RequireWords(int least, const QString &what) const {
  if (args.words.size() < least)
    throw CliError::BadInput(args.command + " needs " + what);
}

namespace {
using namespace CliCommands;

// Asks one drive for its status block and writes the record; false (with a
// note on stderr) when it gave none.
bool ReportStatus(CliContext &context, int address) {
  const ExchangeOutcome outcome = context.Link().Exchange(RequestBodies::Status(address));
  if (const std::optional<DriveStatusTexts> status = StatusOf(outcome)) {
    context.output.Write(StatusRecord(*status));
    return true;
  }
  Note(QStringLiteral("address %1: ").arg(address) + NoStatusReason(context, outcome));
  return false;
}

int NonNegative(const CliContext &context, const QString &option, int fallback) {
  if (!context.args.Has(option))
    return fallback;
  bool ok = false;
  const int value = context.args.Value(option).toInt(&ok);
  if (!ok || value < 0)
    throw CliError::BadInput("--" + option + " must be a whole number of 0 or more");
  return value;
}

} // namespace

namespace CliCommands {

// "1-5" (either way round) or "1,3,4".
std::vector<int> AddressList(const QString &text) {
  std::vector<int> addresses;
  const qsizetype dash = text.indexOf('-');
  if (dash > 0) {
    const std::string from = text.left(dash).trimmed().toStdString();
    const std::string to = text.mid(dash + 1).trimmed().toStdString();
    for (const std::string &end : {from, to}) {
      const FieldCheck check = ScanList::CheckRangeField(end);
      if (!check.Ok())
        throw CliError::BadInput("range \"" + text + "\": " + QString::fromStdString(check.message));
    }
    const int first = std::stoi(from);
    const int last = std::stoi(to);
    for (int a = first;; a += first <= last ? 1 : -1) {
      addresses.push_back(a);
      if (a == last)
        break;
    }
    return addresses;
  }
  std::vector<std::uint8_t> list;
  const ScanList::ListCheck check = ScanList::ParseList(text.toStdString(), list);
  if (!check.check.Ok())
    throw CliError::BadInput("addresses \"" + text + "\": " + QString::fromStdString(check.check.message));
  addresses.assign(list.begin(), list.end());
  return addresses;
}

int Status(CliContext &context) {
  std::vector<int> addresses;
  for (const QString &word : context.args.words)
    addresses.push_back(ParseAddress(word, false));
  if (addresses.empty())
    addresses.push_back(context.address);
  bool allAnswered = true;
  for (int address : addresses)
    allAnswered = ReportStatus(context, address) && allAnswered;
  return allAnswered ? 0 : 1;
}

int Scan(CliContext &context) {
  context.RequireWords(1, "a RANGE (1-5) or a LIST (1,3,4) of drive addresses");
  const std::vector<int> addresses = AddressList(context.args.words.join(','));
  const int period = NonNegative(context, "period", 0);
  const int rounds = NonNegative(context, "count", 1);
  bool allAnswered = true;
  QElapsedTimer clock;
  for (int round = 0; rounds == 0 || round < rounds; ++round) {
    // The period runs from the start of one drive's request to the next.
    for (int address : addresses) {
      clock.start();
      allAnswered = ReportStatus(context, address) && allAnswered;
      WaitUntil(clock, period);
    }
  }
  return allAnswered ? 0 : 1;
}

int Control(CliContext &context) {
  context.RequireWords(1, QStringLiteral("a command: ") + ControlNames::Listed);
  const QString name = context.args.words.first();
  const bool release = context.args.Has("release");
  if (!ControlNames::CommandNamed(name, false) || context.args.words.size() > 1)
    throw CliError::BadInput("unknown control command \"" + context.args.words.join(' ') +
                             "\": " + ControlNames::Listed);
  if (release && !ControlNames::ReleaseAllowed(name))
    throw CliError::BadInput("--release goes with jog-fwd or jog-rev");
  const int command = *ControlNames::CommandNamed(name, release);
  const int address = context.args.Has("broadcast") ? DriveAddress::Broadcast : context.address;
  const ExchangeOutcome outcome = context.Link().Exchange(
      RequestBodies::Control(address, ControlCode(static_cast<ControlCommand>(command))));
  const bool done =
      outcome.kind == ExchangeOutcome::Kind::Accepted || outcome.kind == ExchangeOutcome::Kind::Broadcast;
  context.output.Write(
      {{"address", QString::number(address), {}},
       {"command", name + (release ? " release" : ""), {}},
       {"result", done ? (address == 0 ? "broadcast" : "done") : OutcomeText(context, outcome), {}}});
  return done ? 0 : 1;
}

} // namespace CliCommands
