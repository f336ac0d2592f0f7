#include "cli/RequestTally.h"

namespace {
void Add(RequestTally::Figures &figures, RequestTally::Kind kind) {
  ++figures.requests;
  if (kind == RequestTally::Kind::Error)
    ++figures.errors;
  else if (kind == RequestTally::Kind::Timeout)
    ++figures.timeouts;
}
} // namespace

void RequestTally::Count(Kind kind, qint64 nowMs) {
  const qint64 second = nowMs / 1000;
  Second &bucket = seconds_[static_cast<std::size_t>(second % 60)];
  if (bucket.second != second)
    bucket = {second, {}};
  Add(bucket.figures, kind);
  Add(total_, kind);
}

RequestTally::Figures RequestTally::LastMinute(qint64 nowMs) const {
  const qint64 now = nowMs / 1000;
  Figures sum;
  for (const Second &bucket : seconds_)
    if (bucket.second > now - 60 && bucket.second <= now) {
      sum.requests += bucket.figures.requests;
      sum.errors += bucket.figures.errors;
      sum.timeouts += bucket.figures.timeouts;
    }
  return sum;
}
