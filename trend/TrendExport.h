#pragma once

#include "trend/TrendStore.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The plotted data as CSV: one line per sample of each drive that shows a
// series, between from and to; a series that is hidden for the drive leaves
// its cell empty. Local time with milliseconds, values with two decimals,
// and the running state or fault name.
struct TrendShownSeries {
  int drive = 0;
  std::array<bool, TrendStore::SeriesCount> shown{};
};

std::string TrendCsv(const TrendStore &store, const std::vector<TrendShownSeries> &shown, std::int64_t from,
                     std::int64_t to);

// "2026-12-07 14:03:05.120" in local time.
std::string LocalTimeText(std::int64_t msSinceEpoch);
