#include "log/TimeStampText.h"

#include "protocol/Frames.h"

#include <limits>

namespace {
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

// The text of one second, up to its milliseconds, kept until the next
// second (or another zone offset) is asked for.
class SecondText {
public:
  using Make = QString (*)(const QDateTime &at);
  explicit SecondText(Make make) : make_(make) {}

  // The text of `at`'s second; `msec` becomes its milliseconds.
  const QString &Of(const QDateTime &at, int &msec) {
    const qint64 ms = at.toMSecsSinceEpoch();
    // floored: before 1970 a second starts below its milliseconds too
    const qint64 second = ms >= 0 ? ms / 1000 : -((999 - ms) / 1000);
    msec = static_cast<int>(ms - second * 1000);
    const int offset = at.offsetFromUtc();
    if (second != second_ || offset != offset_) {
      second_ = second;
      offset_ = offset;
      text_ = make_(at);
    }
    return text_;
  }

private:
  Make make_;
  qint64 second_ = std::numeric_limits<qint64>::min();
  int offset_ = 0;
  QString text_;
};

// The whole stamp the long way, as an invalid time has always read.
QString WholeHistoryText(const QDateTime &at) {
  const QDate date = at.date();
  const QTime time = at.time();
  return QString::fromStdString(FormatTimeStamp(
      {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec()}));
}

// "yyyy-MM-dd HH:mm:ss" of `at` after `open`, and `beforeMs` after it.
QString SecondOf(const QDateTime &at, QLatin1String open, QLatin1Char beforeMs) {
  const QDate day = at.date();
  const QTime clock = at.time();
  const struct {
    int value;
    int width;
    char before;
  } parts[] = {{day.year(), 4, 0},     {day.month(), 2, '-'},    {day.day(), 2, '-'},
               {clock.hour(), 2, ' '}, {clock.minute(), 2, ':'}, {clock.second(), 2, ':'}};
  QString text = open;
  for (const auto &part : parts) {
    if (part.before)
      text += QLatin1Char(part.before);
    AppendDigits(text, part.value, part.width);
  }
  return text + beforeMs;
}

QString HistorySecond(const QDateTime &at) { return SecondOf(at, QLatin1String("["), QLatin1Char(':')); }
QString LogSecond(const QDateTime &at) { return SecondOf(at, QLatin1String(), QLatin1Char('.')); }
} // namespace

namespace TimeStampText {

QString History(const QDateTime &at) {
  QString text;
  text.reserve(HistoryLength);
  AppendHistory(text, at);
  return text;
}

void AppendHistory(QString &line, const QDateTime &at) {
  if (!at.isValid()) {
    line += WholeHistoryText(at);
    return;
  }
  thread_local SecondText seconds(HistorySecond);
  int msec = 0;
  line += seconds.Of(at, msec);
  AppendDigits(line, msec, 3);
  line += QLatin1Char(']');
}

void AppendLog(QString &line, const QDateTime &at) {
  if (!at.isValid())
    return;
  thread_local SecondText seconds(LogSecond);
  int msec = 0;
  line += seconds.Of(at, msec);
  AppendDigits(line, msec, 3);
}

} // namespace TimeStampText
