#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

// A timer of the main thread that beats every 20 ms while it lives and keeps
// the longest gap between two beats: a main thread that waited on something
// (a dead line, a connect) shows as a gap of that length.
class Heartbeat {
public:
  Heartbeat() {
    sinceBeat_.start();
    QObject::connect(&timer_, &QTimer::timeout,
                     [this] { longestGapMs_ = std::max(longestGapMs_, sinceBeat_.restart()); });
    timer_.start(20);
  }
  qint64 LongestGapMs() const { return longestGapMs_; }

private:
  QTimer timer_;
  QElapsedTimer sinceBeat_;
  qint64 longestGapMs_ = 0;
};
