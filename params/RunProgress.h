#pragma once

#include <cstdint>
#include <string>

// How far a read all or write all has come, as the line beside its buttons
// tells it: records done of the total, the time taken and, while it runs,
// an estimate of the time left from the pace so far.
namespace RunProgress {

// "Read 12 of 288 records, 0:03 elapsed, about 1:09 left"
std::string Running(const std::string &verb, int done, int total, std::int64_t elapsedMs);
// "Read 288 of 288 records in 1:12"
std::string Finished(const std::string &verb, int done, int total, std::int64_t elapsedMs);
// "Stopped after 12 of 288 records, 0:03"
std::string Stopped(int done, int total, std::int64_t elapsedMs);

// "m:ss", whole seconds
std::string Duration(std::int64_t ms);

} // namespace RunProgress
