#include "log/TrafficLogLine.h"

#include "log/TimeStampText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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

// Milliseconds to the hundredth as QString::number(ms, 'f', 2) writes them,
// without its locale machinery: once for every exchange. Both round to the
// nearest; only a value exactly halfway (a whole number of eighths, odd) is
// rounded to the even hundredth here and up there, so Qt writes those.
void AppendHundredths(QString &line, double ms) {
  const double eighths = ms * 8;
  const bool halfway = eighths == std::floor(eighths) && std::fmod(eighths, 2) != 0;
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, ms, std::chars_format::fixed, 2);
  if (!halfway && written.ec == std::errc())
    line += QLatin1String(text, written.ptr - text);
  else
    line += QString::number(ms, 'f', 2);
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
  TimeStampText::AppendLog(line, record.sentAt);
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
    AppendHundredths(line, record.roundTripMs);
  return line;
}
