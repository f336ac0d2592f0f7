#include "log/ExchangeRecord.h"

#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace {
// "yyyy-MM-dd HH:mm:ss.zzz", as QDateTime::toString writes it at many times
// the cost: a line is logged for every exchange.
QString TimeField(const QDateTime &time) {
  if (!time.isValid())
    return {};
  const QDate day = time.date();
  const QTime clock = time.time();
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", day.year(), day.month(), day.day(),
                clock.hour(), clock.minute(), clock.second(), clock.msec());
  return QString::fromLatin1(text);
}
} // namespace

QString CsvField(const QString &text) {
  const auto special = [](QChar c) { return c == u',' || c == u'"' || c == u'\n' || c == u'\r'; };
  if (std::none_of(text.begin(), text.end(), special))
    return text;
  QString quoted = text;
  quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString OutcomeName(ExchangeRecord::Outcome outcome) {
  switch (outcome) {
  case ExchangeRecord::Outcome::Accepted:
    return QStringLiteral("accepted");
  case ExchangeRecord::Outcome::ErrorReply:
    return QStringLiteral("error reply");
  case ExchangeRecord::Outcome::NoResponse:
    return QStringLiteral("no response");
  case ExchangeRecord::Outcome::NotSent:
    return QStringLiteral("not sent");
  case ExchangeRecord::Outcome::NoReplyAwaited:
    break;
  }
  return QStringLiteral("no reply awaited");
}

QString ExchangeCsvHeader() {
  return QStringLiteral("time,direction,port,mode,request,reply,outcome,reason,round_trip_ms");
}

QString ExchangeCsvLine(const ExchangeRecord &record) {
  const QStringList fields = {
      TimeField(record.sentAt),
      record.direction == ExchangeRecord::Direction::Request ? QStringLiteral("request")
                                                             : QStringLiteral("unsolicited"),
      record.port,
      record.mode,
      record.request,
      record.reply,
      OutcomeName(record.outcome),
      record.reason,
      record.roundTripMs >= 0 ? QString::number(record.roundTripMs, 'f', 2) : QString(),
  };
  QStringList cells;
  for (const QString &field : fields)
    cells << CsvField(field);
  return cells.join(QLatin1Char(','));
}
