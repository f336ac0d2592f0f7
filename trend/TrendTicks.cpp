#include "trend/TrendTicks.h"

#include <algorithm>

TrendTicks RoundTrendTicks(std::int64_t from, std::int64_t to, int most, std::int64_t utcOffsetMs) {
  static const std::int64_t steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 21600};
  TrendTicks ticks;
  if (to <= from)
    return ticks;
  most = std::max(most, 2);
  ticks.stepMs = steps[std::size(steps) - 1] * 1000;
  for (const std::int64_t seconds : steps)
    if ((to - from) / (seconds * 1000) + 1 <= most) {
      ticks.stepMs = seconds * 1000;
      break;
    }
  // the first whole step of the local clock at or after `from`
  const std::int64_t local = from + utcOffsetMs;
  std::int64_t first = local / ticks.stepMs * ticks.stepMs;
  if (first < local)
    first += ticks.stepMs;
  for (std::int64_t t = first - utcOffsetMs; t <= to; t += ticks.stepMs)
    ticks.at.push_back(t);
  return ticks;
}
