#include "log/ExchangeRecord.h"

#include <QStringList>

QString CsvField(const QString &text) {
  if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
      !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
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
      record.sentAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
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
