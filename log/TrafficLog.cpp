#include "log/TrafficLog.h"

#include "log/HistoryText.h"
#include "settings/Preferences.h"

namespace {
QString ModeName(const ExchangeRecord &record) {
  if (record.tcp)
    return QStringLiteral("TCP");
  return record.rtu ? QStringLiteral("RTU") : QStringLiteral("ASCII");
}

// The line of a request as it went out (or was refused).
TrafficLogLine RequestLine(const ExchangeRecord &record) {
  TrafficLogLine line;
  line.sentAt = record.at;
  line.port = record.port;
  line.mode = ModeName(record);
  line.request = record.requestText;
  return line;
}
} // namespace

TrafficLog::Settings TrafficLog::ReadSettings(const QString &dataFolder) {
  const Preferences preferences(dataFolder);
  Settings settings;
  settings.enabled = preferences.Bool(QStringLiteral("Log/Enabled"), true);
  settings.limits.days = preferences.Int(QStringLiteral("Log/Days"), 30, 1, 36500);
  settings.limits.bytes =
      static_cast<qint64>(preferences.Int(QStringLiteral("Log/Megabytes"), 200, 1, 1000000)) * 1024 * 1024;
  return settings;
}

TrafficLog::TrafficLog(const QString &folder, const Settings &settings, QObject *parent)
    : QObject(parent), folder_(folder) {
  if (!settings.enabled)
    return;
  writer_ = std::make_unique<TrafficLogWriter>(folder, settings.limits);
  connect(writer_.get(), &TrafficLogWriter::WriteFailed, this, &TrafficLog::WriteFailed);
  connect(writer_.get(), &TrafficLogWriter::WriteResumed, this, &TrafficLog::WriteResumed);
}

TrafficLog::~TrafficLog() {
  if (pending_) {
    pending_->outcome = TrafficLogLine::Outcome::NoResponse;
    pending_->reason = QStringLiteral("program ended before the reply window passed");
    Write(*pending_);
  }
  // the writer's destructor writes what is still queued
}

void TrafficLog::Write(const TrafficLogLine &record) {
  if (writer_)
    writer_->Append(record.sentAt.date(), ExchangeCsvLine(record));
}

void TrafficLog::Flush() {
  if (writer_)
    writer_->Flush();
}

void TrafficLog::Started(const ExchangeRecord &record) {
  // A request that no completion followed was not waited for.
  if (pending_)
    Write(*pending_);
  pending_ = RequestLine(record);
}

void TrafficLog::Ended(const ExchangeRecord &record) {
  using Outcome = ExchangeRecord::Outcome;
  TrafficLogLine line;
  if (record.awaited || record.outcome == Outcome::NotSent || record.outcome == Outcome::Broadcast) {
    if (pending_ && !record.awaited)
      Write(*pending_);
    pending_.reset();
    line = RequestLine(record);
  } else {
    // data judged while nothing was awaited: a late reply, the rest of a split one
    line.sentAt = record.at;
    line.direction = TrafficLogLine::Direction::Unsolicited;
    line.port = record.port;
    line.mode = ModeName(record);
  }
  switch (record.outcome) {
  case Outcome::Awaiting:
  case Outcome::Broadcast:
    line.outcome = TrafficLogLine::Outcome::NoReplyAwaited;
    break;
  case Outcome::NotSent:
    line.outcome = TrafficLogLine::Outcome::NotSent;
    line.reason = record.notSentReason;
    break;
  case Outcome::NoResponse:
    line.outcome = TrafficLogLine::Outcome::NoResponse;
    break;
  case Outcome::Accepted:
  case Outcome::ErrorReply:
    line.reply = HistoryText::Shown(record.replyText);
    line.roundTripMs = record.roundTripMs;
    line.outcome = record.outcome == Outcome::Accepted ? TrafficLogLine::Outcome::Accepted
                                                       : TrafficLogLine::Outcome::ErrorReply;
    if (record.outcome == Outcome::ErrorReply)
      line.reason = QString::fromStdString(RejectionWords(record.rejection));
    break;
  case Outcome::LateReply:
  case Outcome::Unasked:
    line.reply = record.replyText;
    line.outcome = TrafficLogLine::Outcome::ErrorReply;
    line.reason =
        record.outcome == Outcome::LateReply ? QStringLiteral("late reply") : QStringLiteral("unasked data");
    break;
  }
  Write(line);
}
