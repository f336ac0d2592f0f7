#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Modbus serial framing as a drive sees it: requests are cut out of the byte
// stream, checked and unwrapped; replies are wrapped in the same envelope.
//
// ASCII: ":" + hex text of address, function, data + LRC + CR LF.
// RTU:   address, function, data + CRC-16 (low byte first).

enum class FrameMode { Ascii, Rtu };

// One request cut out of the line.
struct ReceivedFrame {
  std::vector<std::uint8_t> body; // address, function code, data (no checksum)
  bool checksumOk = false;
  // As it came: ASCII the characters from ":" to LF; RTU the bytes as hex text.
  std::string lineText;
  FrameMode mode = FrameMode::Ascii; // the framing it came in; the reply goes back in it
};

// The reply envelope for a body (address, function, data).
std::string EncodeAsciiFrame(const std::vector<std::uint8_t> &body);
std::vector<std::uint8_t> EncodeRtuFrame(const std::vector<std::uint8_t> &body);
std::vector<std::uint8_t> EncodeFrame(FrameMode mode, const std::vector<std::uint8_t> &body);

// Cuts requests out of the received byte stream.
//
// ASCII: a frame runs from ":" to LF; characters before a ":" are line noise
// and are dropped, a new ":" starts the frame over. Lower-case hex digits are
// accepted. A frame with a character that is not a hex digit, an odd number of
// digits or a wrong LRC comes out with checksumOk false.
//
// RTU: a frame ends at a silence of 3.5 character times. Since a pseudo-
// terminal has no real character timing, requests with a known length
// (functions 03 and 06: 8 bytes; 16: 9 + byte count) are also taken as soon as
// that many bytes with a good CRC are in. If the CRC does not match, the bytes
// keep collecting until the silence, and the whole lot is then discarded as
// one bad frame.
//
// Neither mode holds more than a Modbus frame can be (513 characters, 256
// bytes): a longer run is line noise and is dropped as one bad frame.
//
// Without a fixed mode, each request decides its own: a ":" at the start of a
// frame begins an ASCII frame, any other byte an RTU frame. In ASCII the
// colon is always followed by a hex digit; a colon followed by anything else
// is the address byte of drive 58 in RTU, and the frame is taken as RTU. An
// ASCII frame left unfinished for a second (the longest pause Modbus ASCII
// allows between characters) is dropped as bad, so that a master that
// switched to RTU in the middle of a frame is heard again.
class FrameAssembler {
public:
  static constexpr std::size_t MaxAsciiFrame = 513;
  static constexpr std::size_t MaxRtuFrame = 256;
  static constexpr int AsciiSilenceMs = 1000;

  // `mode` empty: follow each request's framing.
  explicit FrameAssembler(std::optional<FrameMode> mode, int silenceMs = 4)
      : mode_(mode), silenceMs_(silenceMs) {}

  // Bytes that arrived at nowMs. Complete frames are appended to `frames`.
  void Feed(const std::uint8_t *bytes, std::size_t count, std::int64_t nowMs,
            std::vector<ReceivedFrame> &frames);
  // Called when no byte arrived for a while: closes an RTU frame at the silence.
  void Idle(std::int64_t nowMs, std::vector<ReceivedFrame> &frames);
  // Milliseconds until Idle() has something to close, or -1 for nothing pending.
  int MsUntilSilence(std::int64_t nowMs) const;

private:
  void FeedAscii(std::uint8_t byte, std::vector<ReceivedFrame> &frames);
  void TakeRtuIfComplete(std::vector<ReceivedFrame> &frames);
  void FlushRtu(std::vector<ReceivedFrame> &frames);
  // Closes what a long enough silence before nowMs ends (RTU; ASCII when following).
  void CloseAtSilence(std::int64_t nowMs, std::vector<ReceivedFrame> &frames);
  int SilenceOfPendingFrame() const; // ms, or -1 when no silence closes it

  std::optional<FrameMode> mode_; // empty: each request's own
  int silenceMs_;
  std::vector<std::uint8_t> pending_;
  bool inAsciiFrame_ = false;
  std::int64_t lastByteMs_ = 0;
};

// Expected length of an RTU request with this head, or 0 when unknown yet.
std::size_t ExpectedRtuRequestLength(const std::vector<std::uint8_t> &head);
