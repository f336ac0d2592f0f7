#include "trend/TrendStore.h"

#include <algorithm>

namespace {
bool IsTrip(int code) { return code > 2; } // 0 stop, 1 and 2 running; the rest are faults

const std::vector<TrendStore::FaultMark> NoFaults;
} // namespace

const char *TrendStore::SeriesName(int series) {
  static const char *const names[SeriesCount] = {"Frequency", "Current", "Output Voltage", "DC Bus Voltage",
                                                 "Speed"};
  return series >= 0 && series < SeriesCount ? names[series] : "";
}

const char *TrendStore::SeriesUnit(int series) {
  static const char *const units[SeriesCount] = {"Hz", "A", "V", "V", "r/min"};
  return series >= 0 && series < SeriesCount ? units[series] : "";
}

TrendStore::TrendStore(std::int64_t retentionMs, std::size_t mostSamples)
    : retentionMs_(retentionMs), mostSamples_(std::max<std::size_t>(1, mostSamples)) {}

void TrendStore::Add(int drive, std::int64_t time, const std::array<double, SeriesCount> &values,
                     int statusCode) {
  DriveTrack &track = drives_[drive];
  track.times.push_back(time);
  for (int s = 0; s < SeriesCount; ++s)
    track.values[static_cast<std::size_t>(s)].push_back(
        static_cast<float>(values[static_cast<std::size_t>(s)]));
  track.codes.push_back(static_cast<std::uint8_t>(statusCode));
  if (IsTrip(statusCode) && statusCode != track.lastCode)
    track.faults.push_back({time, statusCode});
  else if (!IsTrip(statusCode) && track.lastCode >= 0 && IsTrip(track.lastCode))
    track.resets.push_back({time, track.lastCode});
  track.lastCode = statusCode;
  latest_ = std::max(latest_, time);
  Expire(track, time);
}

void TrendStore::Clear() {
  drives_.clear();
  latest_ = 0;
}

void TrendStore::Expire(DriveTrack &track, std::int64_t now) {
  std::int64_t oldest = now - retentionMs_;
  while (track.first < track.times.size() && track.times[track.first] < oldest)
    ++track.first;
  if (track.times.size() - track.first > mostSamples_) {
    track.first = track.times.size() - mostSamples_;
    // the marks of the samples that went go with them
    oldest = std::max(oldest, track.times[track.first]);
  }
  for (std::vector<FaultMark> *marks : {&track.faults, &track.resets})
    while (!marks->empty() && marks->front().time < oldest)
      marks->erase(marks->begin());
  // the expired front is given back once it is as large as what is kept
  if (track.first > 1024 && track.first * 2 > track.times.size()) {
    const auto cut = static_cast<std::ptrdiff_t>(track.first);
    track.times.erase(track.times.begin(), track.times.begin() + cut);
    for (auto &series : track.values)
      series.erase(series.begin(), series.begin() + cut);
    track.codes.erase(track.codes.begin(), track.codes.begin() + cut);
    track.first = 0;
  }
}

std::vector<int> TrendStore::Drives() const {
  std::vector<int> drives;
  for (const auto &entry : drives_)
    drives.push_back(entry.first);
  return drives;
}

std::size_t TrendStore::SampleCount(int drive) const {
  const auto it = drives_.find(drive);
  return it == drives_.end() ? 0 : it->second.times.size() - it->second.first;
}

const std::vector<TrendStore::FaultMark> &TrendStore::Faults(int drive) const {
  const auto it = drives_.find(drive);
  return it == drives_.end() ? NoFaults : it->second.faults;
}

const std::vector<TrendStore::FaultMark> &TrendStore::Resets(int drive) const {
  const auto it = drives_.find(drive);
  return it == drives_.end() ? NoFaults : it->second.resets;
}

std::pair<std::size_t, std::size_t> TrendStore::Range(const DriveTrack &track, std::int64_t from,
                                                      std::int64_t to) const {
  const auto begin = track.times.begin() + static_cast<std::ptrdiff_t>(track.first);
  const auto low = std::lower_bound(begin, track.times.end(), from);
  const auto high = std::upper_bound(low, track.times.end(), to);
  return {static_cast<std::size_t>(low - track.times.begin()),
          static_cast<std::size_t>(high - track.times.begin())};
}

std::vector<TrendStore::Sample> TrendStore::Samples(int drive, std::int64_t from, std::int64_t to) const {
  std::vector<Sample> samples;
  const auto it = drives_.find(drive);
  if (it == drives_.end())
    return samples;
  const DriveTrack &track = it->second;
  const auto [begin, end] = Range(track, from, to);
  samples.reserve(end - begin);
  for (std::size_t i = begin; i < end; ++i) {
    Sample sample{track.times[i], {}, track.codes[i]};
    for (int s = 0; s < SeriesCount; ++s)
      sample.values[static_cast<std::size_t>(s)] = track.values[static_cast<std::size_t>(s)][i];
    samples.push_back(sample);
  }
  return samples;
}

bool TrendStore::Nearest(int drive, std::int64_t time, Sample &sample) const {
  const auto it = drives_.find(drive);
  if (it == drives_.end() || it->second.times.size() == it->second.first)
    return false;
  const DriveTrack &track = it->second;
  const auto begin = track.times.begin() + static_cast<std::ptrdiff_t>(track.first);
  auto at = std::lower_bound(begin, track.times.end(), time);
  if (at == track.times.end() || (at != begin && time - *(at - 1) < *at - time))
    --at;
  const auto i = static_cast<std::size_t>(at - track.times.begin());
  sample.time = track.times[i];
  sample.statusCode = track.codes[i];
  for (int s = 0; s < SeriesCount; ++s)
    sample.values[static_cast<std::size_t>(s)] = track.values[static_cast<std::size_t>(s)][i];
  return true;
}

std::vector<TrendStore::Point> TrendStore::Decimated(int drive, int series, std::int64_t from,
                                                     std::int64_t to, int columns) const {
  std::vector<Point> points;
  const auto it = drives_.find(drive);
  if (it == drives_.end() || series < 0 || series >= SeriesCount || columns < 1 || to <= from)
    return points;
  const DriveTrack &track = it->second;
  const std::vector<float> &values = track.values[static_cast<std::size_t>(series)];
  const auto [begin, end] = Range(track, from, to);
  if (end - begin <= static_cast<std::size_t>(columns) * 4) {
    for (std::size_t i = begin; i < end; ++i)
      points.push_back({track.times[i], values[i]});
    return points;
  }
  points.reserve(static_cast<std::size_t>(columns) * 4);
  const double span = static_cast<double>(to - from);
  // each column's end found by bisection, so the scan of the samples only compares values
  const auto times = track.times.begin();
  std::size_t i = begin;
  for (int column = 0; column < columns && i < end; ++column) {
    const auto columnEnd = from + static_cast<std::int64_t>(static_cast<double>(column + 1) * span / columns);
    const auto stop =
        static_cast<std::size_t>(std::lower_bound(times + static_cast<std::ptrdiff_t>(i),
                                                  times + static_cast<std::ptrdiff_t>(end), columnEnd) -
                                 times);
    if (column == columns - 1 ? i == end : stop == i)
      continue;
    const std::size_t last = column == columns - 1 ? end - 1 : stop - 1;
    std::size_t low = i, high = i;
    for (std::size_t j = i + 1; j <= last; ++j) {
      if (values[j] < values[low])
        low = j;
      else if (values[j] > values[high])
        high = j;
    }
    std::size_t picks[4] = {i, low, high, last};
    std::sort(std::begin(picks), std::end(picks));
    for (int p = 0; p < 4; ++p)
      if (p == 0 || picks[p] != picks[p - 1])
        points.push_back({track.times[picks[p]], values[picks[p]]});
    i = last + 1;
  }
  return points;
}

std::size_t TrendStore::MemoryBytes() const {
  std::size_t bytes = 0;
  for (const auto &entry : drives_) {
    const DriveTrack &track = entry.second;
    bytes += track.times.capacity() * sizeof(std::int64_t) + track.codes.capacity();
    for (const auto &series : track.values)
      bytes += series.capacity() * sizeof(float);
  }
  return bytes;
}
