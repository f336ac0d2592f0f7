#pragma once

#include <QObject>
#include <cstdint>
#include <map>

class QTimer;
class TForm1;
struct DriveStatusReading;

// Whether the "Motor Status" values and the status lamps are live: they grey
// out, their age in a tool tip, once the scan is paused or the shown drive
// has not answered for two of its scan rounds. While the scan runs the
// "Scan Period" field tells how often each drive is actually read.
class StatusFreshness : public QObject {
  Q_OBJECT
public:
  explicit StatusFreshness(TForm1 &form);

  bool Live() const { return live_; }

private:
  void Taken(const DriveStatusReading &reading);
  void ScanRunning(bool running);
  void Refresh();
  void ShowLive(bool live, const QString &age);
  void ShowAchievedPeriod();

  struct Replies {
    std::int64_t last = 0;
    std::int64_t every = 0; // between the last two
  };
  TForm1 &form_;
  QTimer *timer_;
  std::map<int, Replies> replies_;
  bool live_ = true;
  bool scanning_ = false;
};
