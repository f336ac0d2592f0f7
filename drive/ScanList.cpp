#include "drive/ScanList.h"

#include "protocol/ConvertError.h"
#include "protocol/HexText.h"

namespace ScanList {
namespace {
const char *const RangeMessage = "Invalid data! Range:1-247!";
const char *const LastElementMessage = "Invalid input data! Valid range: 1-247.";

bool InAddressRange(const std::string &text, int &value) {
  return TryStrToInt(text, value) && value >= LowestAddress && value <= HighestAddress;
}
} // namespace

void BeginSeries(ScanPosition &state, int from, int to) {
  state.SeriesDirection = to < from ? -1 : (to == from ? 0 : 1);
  state.SeriesFrom = from;
  state.SeriesTo = to;
  if (state.ScanAddress == 0)
    state.ScanAddress = from;
  state.ScanStarting = false;
}

int NextSeriesAddress(ScanPosition &state) {
  if (state.SeriesDirection == 1 && state.ScanAddress <= state.SeriesTo)
    return state.ScanAddress++;
  if (state.SeriesDirection == -1 && state.ScanAddress >= state.SeriesTo)
    return state.ScanAddress--;
  // Range exhausted, or a single address: start again from the first.
  state.ScanAddress = state.SeriesFrom;
  const int address = state.ScanAddress;
  if (state.SeriesDirection == 1)
    ++state.ScanAddress;
  return address;
}

int NextListAddress(ScanPosition &state) {
  const int size = static_cast<int>(state.ArbitraryList.size());
  for (int tried = 0; tried < size; ++tried) {
    if (state.ArbitraryIndex >= size || state.ArbitraryIndex < 0)
      state.ArbitraryIndex = 0;
    const int address = state.ArbitraryList[static_cast<std::size_t>(state.ArbitraryIndex)];
    ++state.ArbitraryIndex;
    if (address != 0) {
      state.ScanAddress = address;
      return address;
    }
  }
  return 0;
}

ListCheck ParseList(const std::string &text, std::vector<std::uint8_t> &list) {
  ListCheck result;
  result.fieldText = text;
  if (text.empty()) {
    result.check = FieldCheck::Bad("Please input data!", false);
    return result;
  }
  result.parsed = true;
  std::string rest = text;
  if (rest.back() == ',')
    rest.pop_back();
  result.fieldText = rest;

  const std::size_t count = static_cast<std::size_t>(CountOccurrences(rest, ",")) + 1;
  list.assign(count, 0);

  for (std::size_t i = 0; i + 1 < count; ++i) {
    const std::size_t comma = rest.find(',');
    int value = 0;
    if (!InAddressRange(rest.substr(0, comma), value)) {
      result.check = FieldCheck::Bad(RangeMessage, false);
      return result;
    }
    list[i] = static_cast<std::uint8_t>(value);
    rest.erase(0, comma + 1);
  }
  if (rest.empty()) {
    result.check = FieldCheck::Bad(RangeMessage, false);
    return result;
  }
  int value = 0;
  if (!InAddressRange(rest, value)) {
    result.check = FieldCheck::Bad(LastElementMessage, true);
    return result;
  }
  list[count - 1] = static_cast<std::uint8_t>(value);
  return result;
}

FieldCheck CheckRangeField(const std::string &text) {
  int value = 0;
  if (!InAddressRange(text, value))
    return FieldCheck::Bad("Invalid data!  Range:1-247!", false);
  return FieldCheck::Good();
}

FieldCheck CheckPeriod(const std::string &text, int &value, int shortest) {
  if (text.empty())
    return FieldCheck::Bad("Please input data!", false);
  int period = 0;
  if (!TryStrToInt(text, period) || period < shortest || period > LongestPeriodMs)
    return FieldCheck::Bad("Invalid input data! Valid range: " + std::to_string(shortest) + "-" +
                               std::to_string(LongestPeriodMs) + ".",
                           true);
  value = period;
  return FieldCheck::Good();
}

} // namespace ScanList
