#include "exchange/ReplyRepeats.h"

#include <algorithm>

void ReplyRepeats::Took(std::string_view wire, const std::string &request, double endMs) {
  Prune(endMs);
  if (taken_.size() == MostKept)
    taken_.pop_front();
  taken_.push_back({std::string(wire), request, endMs});
}

const ReplyRepeats::Taken *ReplyRepeats::CopyOf(std::string_view wire, double nowMs) const {
  for (auto it = taken_.rbegin(); it != taken_.rend(); ++it)
    if (nowMs - it->endMs <= HorizonMs() && it->wire == wire)
      return &*it;
  return nullptr;
}

bool ReplyRepeats::CopiesAnotherRequest(std::string_view wire, const std::string &request,
                                        double nowMs) const {
  // A copy of the same request's reply carries the same register: at worst
  // a value a moment old, and the copy of it that follows tells the line.
  for (auto it = taken_.rbegin(); it != taken_.rend(); ++it)
    if (nowMs - it->endMs <= HorizonMs() && it->wire == wire && it->request != request)
      return true;
  return false;
}

bool ReplyRepeats::Seen(double gapMs) {
  gapMs = std::max(0.0, gapMs);
  const bool news = gapMs_ < 0 || gapMs > gapMs_ * 1.5 + 2;
  gapMs_ = std::max(gapMs_, gapMs);
  return news;
}

double ReplyRepeats::HoldMs() const {
  // copies come a little later at times: half as much again, and a few
  // milliseconds for the copy's own first bytes
  return gapMs_ < 0 ? 0 : gapMs_ * 1.5 + 3;
}

void ReplyRepeats::Forget() {
  taken_.clear();
  gapMs_ = -1;
  alone_ = false;
}

QString RepeatNote(int gapMs) {
  return QStringLiteral(
             "the line repeats replies: each comes again about %1 ms later; the next request waits for it")
      .arg(gapMs);
}

void ReplyRepeats::Prune(double nowMs) {
  while (!taken_.empty() && nowMs - taken_.front().endMs > HorizonMs())
    taken_.pop_front();
}
