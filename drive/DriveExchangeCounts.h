#pragma once

#include <map>

// Requests, accepted replies, errors and time-outs per drive address, for
// the motor status table; cleared when a scan starts. Only requests that
// wait for a reply are counted, each ending in exactly one of the three.
class DriveExchangeCounts {
public:
  struct Counts {
    int requests = 0;
    int accepted = 0;
    int errors = 0;
    int timeouts = 0;
  };
  enum class Ending { Accepted, Error, Timeout };

  void Clear() {
    counts_.clear();
    open_ = 0;
  }
  // A request to `address` went out and its reply is awaited.
  void RequestSent(int address) {
    ++counts_[address].requests;
    open_ = address;
  }
  // The awaited reply came or failed; returns the address it belonged to, 0
  // when no request was open (data that came unasked).
  int RequestEnded(Ending ending) {
    const int address = open_;
    open_ = 0;
    if (address == 0)
      return 0;
    Counts &counts = counts_[address];
    (ending == Ending::Accepted ? counts.accepted
     : ending == Ending::Error  ? counts.errors
                                : counts.timeouts)++;
    return address;
  }
  Counts Of(int address) const {
    const auto it = counts_.find(address);
    return it == counts_.end() ? Counts{} : it->second;
  }

private:
  std::map<int, Counts> counts_;
  int open_ = 0; // the address whose reply is awaited
};
