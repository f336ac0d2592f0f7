#pragma once

#include "drive/FieldCheck.h"

#include <cstdint>
#include <string>
#include <vector>

// The addresses a period scan polls: a range of consecutive drive addresses
// walked one per step, or a comma-separated list.

// Where a scan stands in its range or list.
struct ScanPosition {
  bool ScanStarting = false; // the range is taken at the first step
  int ScanAddress = 0;
  int SeriesFrom = 0;
  int SeriesTo = 0;
  int SeriesDirection = 0;
  std::vector<std::uint8_t> ArbitraryList;
  int ArbitraryIndex = 0;
};

namespace ScanList {

constexpr int LowestAddress = 1;
constexpr int HighestAddress = 247;
constexpr int ShortestPeriodMs = 100;
constexpr int LongestPeriodMs = 360000;

// Takes the range as it stands when a scan starts (first step only).
void BeginSeries(ScanPosition &state, int from, int to);

// The address the next series step polls, moving the position on. An
// ascending range 3..5 gives 3, 4, 5, 3, 4, 5, ...; a descending range 5..3
// gives 5, 4, 3 and then 5, 5, 4, 3 at every restart, because the restart does
// not move on in that direction.
int NextSeriesAddress(ScanPosition &state);

// The address the next list step polls, moving the position on and wrapping
// at the end. Places left empty by a failed list check are skipped; 0 means
// the list holds no address at all.
int NextListAddress(ScanPosition &state);

// The outcome of checking the address list field.
struct ListCheck {
  FieldCheck check;
  bool parsed = false;   // the text was not empty, so the list was (re)built
  std::string fieldText; // the text to show: a trailing comma is dropped
};

// Parses "1,3,4,20" into list. The list gets one place per element; on a bad
// element the places before it are kept and those after it are left at 0.
ListCheck ParseList(const std::string &text, std::vector<std::uint8_t> &list);

// "From" / "to" fields of the range: 1 to 247.
FieldCheck CheckRangeField(const std::string &text);

// The scan period in ms, `shortest` (100 unless replies are handled as soon
// as they are complete) to 360000; value receives it when good.
FieldCheck CheckPeriod(const std::string &text, int &value, int shortest = ShortestPeriodMs);

} // namespace ScanList
