#include "exchange/ExchangeRecord.h"

#include <ctime>

// QDateTime::currentDateTime() looks the time zone up on disk at every call,
// which at line rate costs more than the rest of an exchange's record; the
// zone's offset from UTC at this instant gives the same time.
// The offset changes only between two seconds, so it is looked up once a
// second.
QDateTime LocalNow() {
  thread_local std::time_t offsetSecond = -1;
  thread_local int offset = 0;
  const qint64 ms = QDateTime::currentMSecsSinceEpoch();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  if (seconds != offsetSecond) {
    std::tm local{};
    if (!localtime_r(&seconds, &local))
      return QDateTime::currentDateTime();
    offsetSecond = seconds;
    offset = static_cast<int>(local.tm_gmtoff);
  }
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offset);
}
