#pragma once

#include <QString>
#include <map>
#include <set>

// How late each drive has been seen to answer. After a request times out,
// the line stays quiet until a reply that late has come and gone, so that it
// cannot be taken for the next request's answer.
class DriveLateness {
public:
  // The first time a read to a drive times out, its answer is waited for
  // this many reply windows after the request before the next goes out:
  // until then nobody knows whether the drive is absent or late.
  static constexpr int ProbeWindows = 5;

  // Milliseconds after a timed-out request to `address` during which nothing
  // may be sent; `read` when it asked for values that a late answer could
  // pass off as another request's.
  int CoverMs(int address, bool read, int timeoutMs) const;
  // The drive at `address` answered `ms` after its request, after the time-out.
  // True when this is news: the first late answer, or a much later one.
  bool Seen(int address, int ms);
  // The cover of a first time-out passed with no answer at all.
  void Probed(int address) { probed_.insert(address); }
  // Nothing learnt so far holds (another line, other drives).
  void Forget();
  int LatenessMs(int address) const;

private:
  std::map<int, int> lateMs_;
  std::set<int> probed_;
};

// "drive 1 answers after about 1,400 ms; the time-out is 500 ms"
QString LateDriveNote(int address, int lateMs, int timeoutMs);
