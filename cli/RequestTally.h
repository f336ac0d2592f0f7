#pragma once

#include <QtGlobal>
#include <array>

// The monitor's requests, error replies and time-outs: in all, and in the
// last minute (sixty one-second buckets, so the figure moves smoothly).
class RequestTally {
public:
  enum class Kind { Answered, Error, Timeout };
  struct Figures {
    long long requests = 0, errors = 0, timeouts = 0;
  };

  void Count(Kind kind, qint64 nowMs);
  Figures Total() const { return total_; }
  Figures LastMinute(qint64 nowMs) const;

private:
  struct Second {
    qint64 second = -1;
    Figures figures;
  };
  std::array<Second, 60> seconds_;
  Figures total_;
};
