#include "cli/DriveLink.h"

#include "cli/CliError.h"
#include "log/HistoryText.h"

#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <utility>

namespace {
// The tick only times reply windows here: replies are judged as soon as
// they are complete, so a short tick costs nothing but keeps time-outs close
// to the window asked for.
constexpr int TickMs = 10;

// As the history shows it: a CR LF that came raw (a reply that is no frame)
// would split the line.
void PrintFrame(const QString &text, const char *end = "") {
  std::fputs((HistoryText::Shown(text).toLocal8Bit() + end).constData(), stderr);
}
} // namespace

DriveLink::DriveLink(const LineOptions &options) {
  comm_.SetCommName(options.port);
  // The data bits are how the engine tells the modes apart.
  comm_.SetByteSize(options.rtu ? TByteSize::_8 : TByteSize::_7);
  comm_.SetBaudRate(options.baud);
  comm_.SetParity(options.parity);
  comm_.SetStopBits(options.stopBits);
  comm_.OpenPort();
  if (!comm_.PortOpen() && !options.keepTrying) {
    QString message = "cannot open port " + options.port;
    if (!comm_.PortOpenError().isEmpty())
      message += ": " + comm_.PortOpenError();
    if (!comm_.PortOpenReason().isEmpty())
      message += " (" + comm_.PortOpenReason() + ")";
    throw CliError(CliStatus::PortFailed, message);
  }
  keeper_.Follow();
  comm_.OnReceiveData = [this](TComm *, const char *buffer, std::uint16_t length) {
    engine_.ReceiveData(buffer, length);
  };

  engine_.SetPort(&comm_);
  engine_.SetCompleteOnReply(true);
  engine_.SetEchoMode(options.echo);
  engine_.SetTcpFraming(options.tcp);
  engine_.SetTickMs(TickMs);
  engine_.TimeoutMs = options.timeoutMs;
  engine_.Timer->start();

  const bool verbose = options.verbose;
  QObject::connect(&engine_, &TExchangeEngine::ExchangeStarted, &engine_,
                   [this](const ExchangeRecord &) { sent_ = true; });
  QObject::connect(&engine_, &TExchangeEngine::ExchangeEnded, &engine_,
                   [this](const ExchangeRecord &record) { ExchangeEnded(record); });
  // Frames as the history shows them, the engine's own exchanges (an echo
  // probe, a request asked again) among them.
  if (verbose) {
    QObject::connect(
        engine_.Journal, &ExchangeJournal::Started, &engine_,
        [this](const ExchangeRecord &record) { openRequest_ = HistoryText::RequestLine(record); });
    QObject::connect(
        engine_.Journal, &ExchangeJournal::Ended, &engine_, [this](const ExchangeRecord &record) {
          const QString request =
              HistoryText::CompletesRequestLine(record) ? std::exchange(openRequest_, {}) : QString();
          PrintFrame(request + HistoryText::EndingText(record), "\n");
        });
  }
  if (!options.quiet) {
    const auto sayEcho = [this] { PrintFrame(QString::fromStdString(LineEchoNote(engine_.Echo())), "\n"); };
    QObject::connect(&engine_, &TExchangeEngine::EchoFound, &engine_, sayEcho);
    QObject::connect(&engine_, &TExchangeEngine::EchoMissing, &engine_, sayEcho);
    QObject::connect(&engine_, &TExchangeEngine::RepeatsFound, &engine_,
                     [](int gapMs) { PrintFrame(RepeatNote(gapMs), "\n"); });
  }
  if (verbose)
    QObject::connect(&engine_, &TExchangeEngine::LateDriveNoted, &engine_,
                     [](int address, int lateMs, int timeoutMs) {
                       PrintFrame(HistoryText::LateDriveLine(address, lateMs, timeoutMs), "\n");
                     });
}

DriveLink::~DriveLink() {
  engine_.Timer->stop();
  comm_.ClosePort();
}

void DriveLink::ExchangeEnded(const ExchangeRecord &record) {
  using Outcome = ExchangeRecord::Outcome;
  switch (record.outcome) {
  case Outcome::Accepted:
  case Outcome::ErrorReply:
  case Outcome::NoResponse:
    // Data that came unasked before the request went out is judged too; its
    // outcome is not the request's.
    if (record.awaited)
      Finish(record);
    break;
  case Outcome::NotSent:
  case Outcome::Broadcast:
    sent_ = true;
    Finish(record);
    break;
  case Outcome::Awaiting:
  case Outcome::LateReply:
  case Outcome::Unasked:
    break;
  }
}

void DriveLink::Finish(const ExchangeRecord &record) {
  if (!awaiting_ || !sent_)
    return;
  awaiting_ = false;
  using Outcome = ExchangeRecord::Outcome;
  switch (record.outcome) {
  case Outcome::Accepted:
    outcome_.kind = ExchangeOutcome::Kind::Accepted;
    break;
  case Outcome::ErrorReply:
    outcome_.kind = ExchangeOutcome::Kind::Rejected;
    outcome_.rejection = record.rejection;
    break;
  case Outcome::NoResponse:
    outcome_.kind = ExchangeOutcome::Kind::Missing;
    break;
  case Outcome::NotSent:
    outcome_.kind = ExchangeOutcome::Kind::Refused;
    outcome_.refusal = record.notSentReason;
    break;
  default:
    outcome_.kind = ExchangeOutcome::Kind::Broadcast;
    break;
  }
  if (record.outcome == Outcome::Accepted || record.outcome == Outcome::ErrorReply) {
    outcome_.bytes = record.replyBytes;
    outcome_.replyText = HistoryText::Shown(record.replyText);
  }
  if (loop_)
    loop_->quit();
}

ExchangeOutcome DriveLink::Exchange(const std::string &body) {
  outcome_ = {};
  awaiting_ = true;
  sent_ = false;
  // The request goes out as the user's own command: at once when the line
  // is free, else at the tick that finds it free (after a quiet window).
  const CommState &s = engine_.State;
  engine_.QueueUserCommand(body);
  if (!s.WaitingReply && !s.QuietWindowPending && s.ReceiveBuffer.empty())
    engine_.Tick(); // on a free line the tick starts the pending request

  if (awaiting_) {
    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
  }
  return outcome_;
}

QString DriveLink::LineLost() const {
  if (keeper_.CurrentState() != TPortKeeper::State::Lost)
    return {};
  return comm_.LineSettingsApply() ? QStringLiteral("device gone") : QStringLiteral("connection closed");
}

ExchangeOutcome DriveLink::ExchangeStep(const std::string &body, bool addChecksum) {
  // the list's steps are what this program shows: they may go out without checksum
  engine_.SetSequenceShown(true);
  engine_.SetAddChecksum(addChecksum);
  engine_.SetSequenceAwaitingReply(true);
  const ExchangeOutcome outcome = Exchange(body);
  engine_.SetSequenceAwaitingReply(false);
  return outcome;
}
