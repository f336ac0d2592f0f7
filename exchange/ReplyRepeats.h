#pragma once

#include <QString>
#include <algorithm>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

// Some adapters and drives send each reply twice. A one-register read's
// reply names no register, so a copy that comes after the next request went
// out would pass for that request's answer. The replies taken lately are
// kept as they came on the wire, to tell a copy of one from an answer; once
// a copy is seen, the line is known to repeat and how long after a reply
// its copy comes.
class ReplyRepeats {
public:
  struct Taken {
    std::string wire;    // as it came: hex text of binary frames, ASCII as is
    std::string request; // the body it answered
    double endMs = 0;    // when its last byte came
  };

  // A reply was taken for `request`.
  void Took(std::string_view wire, const std::string &request, double endMs);
  // The reply taken lately that `wire` repeats exactly, whichever request it answered.
  const Taken *CopyOf(std::string_view wire, double nowMs) const;
  // A reply to `request` that repeats one taken for another request: it
  // could be either's, so it is no value until nothing else follows it.
  bool CopiesAnotherRequest(std::string_view wire, const std::string &request, double nowMs) const;

  // A copy came `gapMs` after its reply. True when this is news: the first
  // copy seen, or one much later than before.
  bool Seen(double gapMs);
  bool Known() const { return gapMs_ >= 0; }
  // A reply held as a possible copy stood alone to its window's end: this
  // line answers once, and a value equal to another register's is taken at
  // once from now on. A copy seen later still teaches otherwise.
  void StoodAlone() { alone_ = true; }
  bool AnswersOnce() const { return alone_ && !Known(); }
  double GapMs() const { return gapMs_; }
  // How long after a reply's end the next request waits for its copy.
  double HoldMs() const;
  // When the last reply was taken.
  double LastEndMs() const { return taken_.empty() ? -1e9 : taken_.back().endMs; }

  // How far back a copy is looked for: a repeat later than a reply window
  // after its reply is nobody's to expect.
  void SetHorizonMs(double ms) { horizonMs_ = ms; }
  void Forget();

private:
  void Prune(double nowMs);
  // A copy later than this after its reply is nobody's to expect.
  double HorizonMs() const { return std::max(horizonMs_, 2 * gapMs_); }

  static constexpr std::size_t MostKept = 64;
  std::deque<Taken> taken_;
  double horizonMs_ = 500;
  double gapMs_ = -1;
  bool alone_ = false;
};

// "the line repeats replies: each comes again about 5 ms later; the next
// request waits for it"
QString RepeatNote(int gapMs);
