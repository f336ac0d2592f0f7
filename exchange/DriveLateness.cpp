#include "exchange/DriveLateness.h"

#include <QLocale>
#include <algorithm>

int DriveLateness::CoverMs(int address, bool read, int timeoutMs) const {
  const int most = (ProbeWindows + 1) * timeoutMs;
  if (const int late = LatenessMs(address); late > 0)
    return std::min(late + late / 2, most); // answers vary: half as much again
  if (read && !probed_.contains(address))
    return ProbeWindows * timeoutMs;
  return 0;
}

bool DriveLateness::Seen(int address, int ms) {
  int &known = lateMs_[address];
  const bool news = ms > known + known / 4;
  known = std::max(known, ms);
  return news;
}

void DriveLateness::Forget() {
  lateMs_.clear();
  probed_.clear();
}

int DriveLateness::LatenessMs(int address) const {
  const auto found = lateMs_.find(address);
  return found == lateMs_.end() ? 0 : found->second;
}

QString LateDriveNote(int address, int lateMs, int timeoutMs) {
  const QLocale english(QLocale::English);
  const int rounded = std::max(100, (lateMs + 50) / 100 * 100);
  // a time-out with a fifth to spare, in whole tenths of a second
  const int advised = (lateMs * 6 / 5 + 99) / 100 * 100;
  return QStringLiteral("drive %1 answers after about %2 ms; the time-out is %3 ms: set it to %4 ms or more")
      .arg(address)
      .arg(english.toString(rounded))
      .arg(english.toString(timeoutMs))
      .arg(english.toString(advised));
}
