#include "exchange/LineEcho.h"

void LineEcho::SetMode(Mode mode) {
  mode_ = mode;
  expected_.clear();
  matched_ = 0;
}

void LineEcho::Forget() {
  found_ = false;
  silent_ = false;
  echoed_ = false;
  expected_.clear();
  matched_ = 0;
}

void LineEcho::NoEchoSeen() {
  if (!found_)
    silent_ = true;
}

void LineEcho::RequestSent(const std::string &wire, bool read) {
  echoed_ = false;
  expected_ = wire;
  matched_ = 0;
  read_ = read;
}

LineEcho::Taken LineEcho::Take(const char *data, std::size_t length) {
  if (expected_.empty())
    return {std::string(data, length), true};
  std::size_t at = 0;
  while (at < length && matched_ < expected_.size()) {
    if (data[at] != expected_[matched_])
      return Ended(expected_.substr(0, matched_) + std::string(data + at, length - at), false);
    ++matched_;
    ++at;
  }
  if (matched_ < expected_.size())
    return {}; // held until it is whole or turns out to be no echo
  return Ended(std::string(data + at, length - at), true);
}

LineEcho::Taken LineEcho::Flush() {
  if (expected_.empty())
    return {{}, true};
  return Ended(expected_.substr(0, matched_), false);
}

LineEcho::Taken LineEcho::Ended(std::string passOn, bool whole) {
  Taken taken;
  taken.done = true;
  echoed_ = whole;
  if (!whole) {
    // Discarding, the echo is due first: anything else (a reply with no
    // echo before it, a collision) is not what went out.
    taken.differs = Discarding() && !(matched_ == 0 && passOn.empty());
    taken.passOn = std::move(passOn);
  } else if (Discarding()) {
    found_ = true;
    taken.passOn = std::move(passOn);
  } else if (read_) {
    // A read's reply never repeats the read: the line echoes.
    found_ = true;
    if (mode_ == Mode::Detect) {
      taken.found = true;
      taken.passOn = std::move(passOn);
    } else {
      taken.echoed = true;
      taken.passOn = expected_ + passOn;
    }
  } else {
    // A write's reply repeats it: an echo only where the line is known to echo.
    taken.echoed = found_;
    taken.passOn = expected_ + passOn;
  }
  expected_.clear();
  matched_ = 0;
  return taken;
}

std::string LineEchoNote(const LineEcho &echo) {
  if (echo.GetMode() == LineEcho::Mode::Detect && echo.Found())
    return "adapter echoes requests: echo discarded";
  if (echo.Missing())
    return "adapter echo is on, but the line does not echo: nothing is discarded";
  return {};
}

std::optional<LineEcho::Mode> LineEchoModeOf(const std::string &word) {
  if (word == "off")
    return LineEcho::Mode::Off;
  if (word == "on")
    return LineEcho::Mode::On;
  if (word == "detect")
    return LineEcho::Mode::Detect;
  return std::nullopt;
}

const char *LineEchoWord(LineEcho::Mode mode) {
  switch (mode) {
  case LineEcho::Mode::On:
    return "on";
  case LineEcho::Mode::Detect:
    return "detect";
  case LineEcho::Mode::Off:
    break;
  }
  return "off";
}
