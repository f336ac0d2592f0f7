#include "exchange/ExchangeRecord.h"

#include <ctime>

// QDateTime::currentDateTime() looks the time zone up on disk at every call,
// which at line rate costs more than the rest of an exchange's record; the
// zone's offset from UTC at this instant gives the same time.
QDateTime LocalNow() {
  const qint64 ms = QDateTime::currentMSecsSinceEpoch();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  if (!localtime_r(&seconds, &local))
    return QDateTime::currentDateTime();
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, static_cast<int>(local.tm_gmtoff));
}
