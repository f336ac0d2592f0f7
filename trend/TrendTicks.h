#pragma once

#include <cstdint>
#include <vector>

// The ticks of the trend's time axis: on round steps of the local clock
// (10 s, 1 min, 5 min, ...), as many as the axis has room for.
struct TrendTicks {
  std::int64_t stepMs = 0;
  std::vector<std::int64_t> at; // ms since the epoch, ascending, within the range
  // The labels need the seconds (the step is under a minute).
  bool Seconds() const { return stepMs < 60 * 1000; }
};

// Ticks between `from` and `to` (ms since the epoch), at most `most` of
// them, on whole steps of the clock whose offset from UTC is `utcOffsetMs`.
TrendTicks RoundTrendTicks(std::int64_t from, std::int64_t to, int most, std::int64_t utcOffsetMs);
