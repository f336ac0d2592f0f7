#include "params/RunProgress.h"

#include <algorithm>
#include <cstdio>

namespace RunProgress {

std::string Duration(std::int64_t ms) {
  const std::int64_t seconds = std::max<std::int64_t>(ms, 0) / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

namespace {
std::string Count(int done, int total) {
  return std::to_string(done) + " of " + std::to_string(total) + " records";
}
} // namespace

std::string Running(const std::string &verb, int done, int total, std::int64_t elapsedMs) {
  std::string text = verb + " " + Count(done, total) + ", " + Duration(elapsedMs) + " elapsed";
  // no pace to go by before the first record
  if (done > 0 && total >= done)
    text += ", about " + Duration(elapsedMs * (total - done) / done) + " left";
  return text;
}

std::string Finished(const std::string &verb, int done, int total, std::int64_t elapsedMs) {
  return verb + " " + Count(done, total) + " in " + Duration(elapsedMs);
}

std::string Stopped(int done, int total, std::int64_t elapsedMs) {
  return "Stopped after " + Count(done, total) + ", " + Duration(elapsedMs);
}

} // namespace RunProgress
