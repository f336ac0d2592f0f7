#include "log/TrafficLog.h"

#include "settings/Preferences.h"

#include <ctime>

namespace {
// The marks the history pane puts between the parts of a line.
const QString SendMark = QStringLiteral(" Send  >   ");
const QString ReplyMark = QStringLiteral("  ----- R >   ");
const QString NoResponseMark = QStringLiteral("  -----> No response!");
const QString NotSentMark = QStringLiteral("  -----> Not sent: ");

QString AfterSendMark(const QString &line) {
  const int at = line.indexOf(SendMark);
  return at < 0 ? line : line.mid(at + SendMark.size());
}

// The local time now. QDateTime::currentDateTime() looks the time zone up on
// disk at every call, which at line rate costs more than the rest of a log
// line; the zone's offset from UTC at this instant gives the same time.
QDateTime LocalNow() {
  const qint64 ms = QDateTime::currentMSecsSinceEpoch();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  if (!localtime_r(&seconds, &local))
    return QDateTime::currentDateTime();
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, static_cast<int>(local.tm_gmtoff));
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
    pending_->outcome = ExchangeRecord::Outcome::NoResponse;
    pending_->reason = QStringLiteral("program ended before the reply window passed");
    Write(*pending_);
  }
  // the writer's destructor writes what is still queued
}

void TrafficLog::Write(const ExchangeRecord &record) {
  if (writer_)
    writer_->Append(record.sentAt.date(), ExchangeCsvLine(record));
}

void TrafficLog::Flush() {
  if (writer_)
    writer_->Flush();
}

void TrafficLog::RequestLogged(const QString &line, bool awaitsReply, const QString &port,
                               const QString &mode) {
  // A request that no completion followed was not waited for.
  if (pending_)
    Write(*pending_);
  pending_.reset();

  ExchangeRecord record;
  record.sentAt = LocalNow();
  record.port = port;
  record.mode = mode;
  record.request = AfterSendMark(line);
  const int notSent = record.request.indexOf(NotSentMark);
  if (notSent >= 0) {
    record.outcome = ExchangeRecord::Outcome::NotSent;
    record.reason = record.request.mid(notSent + NotSentMark.size()).trimmed();
    if (record.reason.endsWith(QLatin1Char('!')))
      record.reason.chop(1);
    record.request.truncate(notSent);
    Write(record);
    return;
  }
  if (!awaitsReply) {
    Write(record);
    return;
  }
  pending_ = record;
  sinceSent_.start();
  lastByteMs_ = -1;
}

void TrafficLog::BytesArrived() {
  if (pending_)
    lastByteMs_ = static_cast<double>(sinceSent_.nsecsElapsed()) / 1e6;
}

void TrafficLog::LineCompleted(const QString &suffix, bool accepted, const QString &reason,
                               const QString &port, const QString &mode) {
  ExchangeRecord record;
  if (pending_) {
    record = *pending_;
    record.roundTripMs = lastByteMs_;
    pending_.reset();
  } else {
    // data judged while nothing was awaited: a late reply, the rest of a split one
    record.sentAt = LocalNow();
    record.direction = ExchangeRecord::Direction::Unsolicited;
    record.port = port;
    record.mode = mode;
  }
  if (suffix.startsWith(NoResponseMark)) {
    record.outcome = ExchangeRecord::Outcome::NoResponse;
    record.roundTripMs = -1;
  } else {
    record.reply = suffix.startsWith(ReplyMark) ? suffix.mid(ReplyMark.size()) : suffix;
    record.outcome = accepted ? ExchangeRecord::Outcome::Accepted : ExchangeRecord::Outcome::ErrorReply;
    if (!accepted)
      record.reason = reason;
  }
  Write(record);
}

void TrafficLog::Unasked(const QString &data, const QString &reason, const QString &port,
                         const QString &mode) {
  ExchangeRecord record;
  record.sentAt = LocalNow();
  record.direction = ExchangeRecord::Direction::Unsolicited;
  record.port = port;
  record.mode = mode;
  record.reply = data;
  record.outcome = ExchangeRecord::Outcome::ErrorReply;
  record.reason = reason;
  Write(record);
}
