#include "log/TrafficLogLine.h"

#include <algorithm>

namespace {
bool NeedsQuotes(const QString &text) {
  return std::any_of(text.begin(), text.end(),
                     [](QChar c) { return c == u',' || c == u'"' || c == u'\n' || c == u'\r'; });
}

void AppendCsvField(QString &line, const QString &text) {
  if (!NeedsQuotes(text)) {
    line += text;
    return;
  }
  line += QLatin1Char('"');
  for (const QChar c : text) {
    if (c == u'"')
      line += QLatin1Char('"');
    line += c;
  }
  line += QLatin1Char('"');
}

// Appends `value` with at least `width` digits.
void AppendDigits(QString &line, int value, int width) {
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && count < 11);
  for (int pad = count; pad < width; ++pad)
    line += QLatin1Char('0');
  while (count > 0)
    line += QLatin1Char(digits[--count]);
}

// "yyyy-MM-dd HH:mm:ss.zzz", as QDateTime::toString writes it at many times
// the cost: a line is logged for every exchange.
void AppendTime(QString &line, const QDateTime &time) {
  if (!time.isValid())
    return;
  const QDate day = time.date();
  const QTime clock = time.time();
  const struct {
    int value;
    int width;
    char before;
  } parts[] = {{day.year(), 4, 0},     {day.month(), 2, '-'},    {day.day(), 2, '-'},
               {clock.hour(), 2, ' '}, {clock.minute(), 2, ':'}, {clock.second(), 2, ':'},
               {clock.msec(), 3, '.'}};
  for (const auto &part : parts) {
    if (part.before)
      line += QLatin1Char(part.before);
    AppendDigits(line, part.value, part.width);
  }
}
} // namespace

QString OutcomeName(TrafficLogLine::Outcome outcome) {
  switch (outcome) {
  case TrafficLogLine::Outcome::Accepted:
    return QStringLiteral("accepted");
  case TrafficLogLine::Outcome::ErrorReply:
    return QStringLiteral("error reply");
  case TrafficLogLine::Outcome::NoResponse:
    return QStringLiteral("no response");
  case TrafficLogLine::Outcome::NotSent:
    return QStringLiteral("not sent");
  case TrafficLogLine::Outcome::NoReplyAwaited:
    break;
  }
  return QStringLiteral("no reply awaited");
}

QString ExchangeCsvHeader() {
  return QStringLiteral("time,direction,port,mode,request,reply,outcome,reason,round_trip_ms");
}

QString ExchangeCsvLine(const TrafficLogLine &record) {
  // One string built in place: a line is written for every exchange.
  QString line;
  line.reserve(64 + record.port.size() + record.request.size() + record.reply.size() + record.reason.size());
  AppendTime(line, record.sentAt);
  line += record.direction == TrafficLogLine::Direction::Request ? QLatin1String(",request,")
                                                                 : QLatin1String(",unsolicited,");
  for (const QString *field : {&record.port, &record.mode, &record.request, &record.reply}) {
    AppendCsvField(line, *field);
    line += QLatin1Char(',');
  }
  line += OutcomeName(record.outcome);
  line += QLatin1Char(',');
  AppendCsvField(line, record.reason);
  line += QLatin1Char(',');
  if (record.roundTripMs >= 0)
    line += QString::number(record.roundTripMs, 'f', 2);
  return line;
}
