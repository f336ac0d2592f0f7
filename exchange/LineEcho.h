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
  // The echo is discarded: handling on (unless the line showed none), or
  // found by detection.
  bool Discarding() const { return (mode_ == Mode::On && !silent_) || (mode_ == Mode::Detect && found_); }
  bool Found() const { return found_; }
  // Whether the line echoes is known: handling off, or a read showed it.
  // Until then a write cannot be told from its own echo, whose bytes are
  // the same as the drive's confirmation.
  bool Decided() const { return mode_ == Mode::Off || found_ || silent_; }
  // A read was answered with no echo before the reply: the line does not echo.
  void NoEchoSeen();
  // Handling is on, but the line showed no echo.
  bool Missing() const { return mode_ == Mode::On && silent_; }
  // The last request's echo came back whole.
  bool Echoed() const { return echoed_; }
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
  bool silent_ = false;
  bool echoed_ = false;
  bool read_ = false;
  std::string expected_;
  std::size_t matched_ = 0;
};

// What the line showed of its echo, for the status bar and the command
// line's notes; empty while there is nothing to say.
std::string LineEchoNote(const LineEcho &echo);

// "off", "on", "detect": the preference's and the command line's words.
std::optional<LineEcho::Mode> LineEchoModeOf(const std::string &word);
const char *LineEchoWord(LineEcho::Mode mode);
