#pragma once

#include <cstddef>
#include <optional>
#include <string>

// An adapter that hears its own transmission (many half-duplex RS-485
// adapters) hands each request back before the drive's reply. Each request's
// bytes are looked for at the front of what arrives: discarded when the line
// is known to echo, learnt from when it may, and told apart from a reply
// where it cannot be discarded. Only a read tells the echo apart for sure:
// the correct reply to a write repeats the request byte for byte.
class LineEcho {
public:
  enum class Mode {
    Off,    // nothing is discarded; an echo seen is named, never taken
    On,     // every request comes back first, exactly
    Detect, // on once a read's request is seen coming back
  };

  void SetMode(Mode mode);
  Mode GetMode() const { return mode_; }
  // The echo is discarded: handling on, or found by detection.
  bool Discarding() const { return mode_ == Mode::On || (mode_ == Mode::Detect && found_); }
  bool Found() const { return found_; }
  // Another line: what was learnt of this one no longer holds.
  void Forget();

  // A request went out as `wire` (the bytes on the line); `read` when it
  // asks for registers.
  void RequestSent(const std::string &wire, bool read);
  // Bytes of the request's echo are still looked for.
  bool Awaiting() const { return !expected_.empty(); }
  // How many bytes the echo has.
  std::size_t EchoBytes() const { return expected_.size(); }

  struct Taken {
    std::string passOn;   // what is not the echo: the reply's bytes, in order
    bool done = false;    // the echo is over (whole, or found not to be there)
    bool found = false;   // detection found the line echoing, now
    bool differs = false; // discarding, the echo was not the request's bytes
    bool echoed = false;  // not discarding, the request came back: the reply is its echo
  };
  // The next piece from the line.
  Taken Take(const char *data, std::size_t length);
  // The reply window ended while the echo was looked for: what was held.
  Taken Flush();

private:
  Taken Ended(std::string passOn, bool whole);

  Mode mode_ = Mode::Off;
  bool found_ = false;
  bool read_ = false;
  std::string expected_;
  std::size_t matched_ = 0;
};

// "off", "on", "detect": the preference's and the command line's words.
std::optional<LineEcho::Mode> LineEchoModeOf(const std::string &word);
const char *LineEchoWord(LineEcho::Mode mode);
