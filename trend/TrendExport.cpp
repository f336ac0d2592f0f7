#include "trend/TrendExport.h"

#include "drive/StatusDecoding.h"

#include <cstdio>
#include <ctime>

std::string LocalTimeText(std::int64_t msSinceEpoch) {
  const std::time_t seconds = static_cast<std::time_t>(msSinceEpoch / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(msSinceEpoch % 1000));
  return text;
}

std::string TrendCsv(const TrendStore &store, const std::vector<TrendShownSeries> &shown, std::int64_t from,
                     std::int64_t to) {
  std::string csv = "time,drive";
  for (int s = 0; s < TrendStore::SeriesCount; ++s)
    csv += std::string(",") + TrendStore::SeriesName(s) + " (" + TrendStore::SeriesUnit(s) + ")";
  csv += ",status\n";
  for (const TrendShownSeries &drive : shown) {
    bool any = false;
    for (const bool on : drive.shown)
      any = any || on;
    if (!any)
      continue;
    for (const TrendStore::Sample &sample : store.Samples(drive.drive, from, to)) {
      csv += LocalTimeText(sample.time) + "," + std::to_string(drive.drive);
      for (int s = 0; s < TrendStore::SeriesCount; ++s) {
        csv += ",";
        if (!drive.shown[static_cast<std::size_t>(s)])
          continue;
        char value[32];
        std::snprintf(value, sizeof value, "%.2f",
                      static_cast<double>(sample.values[static_cast<std::size_t>(s)]));
        csv += value;
      }
      csv += "," + MachineStatusName(sample.statusCode) + "\n";
    }
  }
  return csv;
}
