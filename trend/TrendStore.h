#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The values of the scanned drives over time, per drive and per series, and
// the moments a drive tripped and was reset. Samples older than the retention are dropped
// as new ones come, so a scan left running for days holds a bounded amount.
// A drive keeps at most a given number of samples too: a serial line never
// brings that many within the retention, but Modbus TCP may bring tens of
// thousands a second, and an hour of them would not fit in memory; the
// oldest go first then. Times are milliseconds since the epoch.
class TrendStore {
public:
  enum Series { Frequency, Current, OutputVoltage, DcBusVoltage, Speed, SeriesCount };
  static const char *SeriesName(int series); // "Frequency", ...
  static const char *SeriesUnit(int series); // "Hz", ...

  struct FaultMark {
    std::int64_t time = 0;
    int code = 0;
  };

  struct Point {
    std::int64_t time;
    float value;
  };

  // about 60 MB a drive; the fastest serial line brings 1.3 million an hour
  static constexpr std::size_t MostSamples = 2'000'000;

  explicit TrendStore(std::int64_t retentionMs = 3600 * 1000 + 60 * 1000,
                      std::size_t mostSamples = MostSamples);

  // One decoded status reply. A status code other than stop and the two run
  // states that differs from the drive's previous one is marked as a trip.
  void Add(int drive, std::int64_t time, const std::array<double, SeriesCount> &values, int statusCode);
  void Clear();

  std::vector<int> Drives() const;
  std::size_t SampleCount(int drive) const;
  std::int64_t LatestTime() const { return latest_; } // 0 when empty
  const std::vector<FaultMark> &Faults(int drive) const;
  // The moments a tripped drive ran or stood ready again, with the fault
  // that was cleared.
  const std::vector<FaultMark> &Resets(int drive) const;

  // The samples of a drive between from and to (inclusive), oldest first.
  struct Sample {
    std::int64_t time;
    std::array<float, SeriesCount> values;
    int statusCode;
  };
  std::vector<Sample> Samples(int drive, std::int64_t from, std::int64_t to) const;
  // The sample nearest to `time`; false when the drive has none.
  bool Nearest(int drive, std::int64_t time, Sample &sample) const;

  // What a plot `columns` pixels wide needs of one series between from and
  // to: per pixel column the first, lowest, highest and last sample in the
  // order they came, so the curve keeps every peak however long the window.
  std::vector<Point> Decimated(int drive, int series, std::int64_t from, std::int64_t to, int columns) const;

  // Bytes held by the samples (for the benchmark).
  std::size_t MemoryBytes() const;

private:
  struct DriveTrack {
    std::vector<std::int64_t> times;
    std::array<std::vector<float>, SeriesCount> values;
    std::vector<std::uint8_t> codes;
    std::size_t first = 0; // samples before it have expired
    std::vector<FaultMark> faults;
    std::vector<FaultMark> resets;
    int lastCode = -1;
  };
  void Expire(DriveTrack &track, std::int64_t now);
  // Index range [begin, end) of the samples between from and to.
  std::pair<std::size_t, std::size_t> Range(const DriveTrack &track, std::int64_t from,
                                            std::int64_t to) const;

  std::int64_t retentionMs_;
  std::size_t mostSamples_;
  std::int64_t latest_ = 0;
  std::map<int, DriveTrack> drives_;
};
