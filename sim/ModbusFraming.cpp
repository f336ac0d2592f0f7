#include "sim/ModbusFraming.h"

#include "protocol/FrameCodec.h"
#include "protocol/HexText.h"

namespace {

int HexValue(std::uint8_t c) { return HexDigitValue(static_cast<char>(c)); }

bool RtuCrcMatches(const std::vector<std::uint8_t> &frame) {
  return frame.size() >= 4 && Codecs::Rtu.unwrap(frame).fault == Unwrapped::Fault::None;
}

} // namespace

std::string EncodeAsciiFrame(const std::vector<std::uint8_t> &body) {
  const std::vector<std::uint8_t> frame = Codecs::Ascii.frame({body}, 0);
  return std::string(frame.begin(), frame.end());
}

std::vector<std::uint8_t> EncodeRtuFrame(const std::vector<std::uint8_t> &body) {
  return Codecs::Rtu.frame({body}, 0);
}

std::vector<std::uint8_t> EncodeFrame(FrameMode mode, const std::vector<std::uint8_t> &body) {
  return CodecOf(mode == FrameMode::Rtu ? Framing::Rtu : Framing::Ascii).frame({body}, 0);
}

std::size_t ExpectedRtuRequestLength(const std::vector<std::uint8_t> &head) {
  if (head.size() < 2)
    return 0;
  switch (head[1]) {
  case 0x03:
  case 0x06:
    return 8;
  case 0x10:
    return head.size() < 7 ? 0 : 9 + static_cast<std::size_t>(head[6]);
  case 0x11:
    return 4;
  default:
    return 0;
  }
}

void FrameAssembler::Feed(const std::uint8_t *bytes, std::size_t count, std::int64_t nowMs,
                          std::vector<ReceivedFrame> &frames) {
  if (mode_ == FrameMode::Ascii) {
    for (std::size_t i = 0; i < count; ++i)
      FeedAscii(bytes[i], frames);
    return;
  }
  // A silence before these bytes ends the frame collected so far.
  CloseAtSilence(nowMs, frames);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t byte = bytes[i];
    if (!mode_) {
      if (inAsciiFrame_ && pending_.size() == 1 && HexValue(byte) < 0)
        inAsciiFrame_ = false; // the colon was an RTU address byte
      else if (inAsciiFrame_ || (pending_.empty() && byte == ':')) {
        FeedAscii(byte, frames);
        continue;
      }
    }
    pending_.push_back(byte);
    TakeRtuIfComplete(frames);
    if (pending_.size() >= MaxRtuFrame)
      FlushRtu(frames);
  }
  lastByteMs_ = nowMs;
}

void FrameAssembler::Idle(std::int64_t nowMs, std::vector<ReceivedFrame> &frames) {
  CloseAtSilence(nowMs, frames);
}

int FrameAssembler::SilenceOfPendingFrame() const {
  if (pending_.empty() || mode_ == FrameMode::Ascii)
    return -1;
  return inAsciiFrame_ ? AsciiSilenceMs : silenceMs_;
}

void FrameAssembler::CloseAtSilence(std::int64_t nowMs, std::vector<ReceivedFrame> &frames) {
  const int silence = SilenceOfPendingFrame();
  if (silence < 0 || nowMs - lastByteMs_ < silence)
    return;
  if (!inAsciiFrame_) {
    FlushRtu(frames);
    return;
  }
  ReceivedFrame frame; // an ASCII frame that never got its end
  frame.lineText.assign(pending_.begin(), pending_.end());
  pending_.clear();
  inAsciiFrame_ = false;
  frames.push_back(std::move(frame));
}

int FrameAssembler::MsUntilSilence(std::int64_t nowMs) const {
  const int silence = SilenceOfPendingFrame();
  if (silence < 0)
    return -1;
  std::int64_t left = lastByteMs_ + silence - nowMs;
  return left < 0 ? 0 : static_cast<int>(left);
}

void FrameAssembler::FeedAscii(std::uint8_t byte, std::vector<ReceivedFrame> &frames) {
  if (byte == ':') {
    pending_.assign(1, byte);
    inAsciiFrame_ = true;
    return;
  }
  if (!inAsciiFrame_)
    return;
  pending_.push_back(byte);
  if (byte != '\n' && pending_.size() < MaxAsciiFrame)
    return;
  inAsciiFrame_ = false;

  ReceivedFrame frame;
  frame.lineText.assign(pending_.begin(), pending_.end());
  pending_.clear();
  // ":" + at least address, function and LRC + CR LF
  const std::string &text = frame.lineText;
  bool wellFormed = text.size() >= 9 && text[text.size() - 2] == '\r' && (text.size() - 3) % 2 == 0;
  std::string digits;
  if (wellFormed) {
    digits = text.substr(1, text.size() - 3);
    for (char c : digits) {
      if (HexValue(static_cast<std::uint8_t>(c)) < 0) {
        wellFormed = false;
        break;
      }
    }
  }
  if (wellFormed) {
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
      frame.body.push_back(static_cast<std::uint8_t>(HexValue(digits[i]) * 16 + HexValue(digits[i + 1])));
    const std::uint8_t lrc = frame.body.back();
    frame.body.pop_back();
    frame.checksumOk = LrcOf(frame.body.data(), frame.body.size()) == lrc;
  }
  frames.push_back(std::move(frame));
}

void FrameAssembler::TakeRtuIfComplete(std::vector<ReceivedFrame> &frames) {
  std::size_t expected = ExpectedRtuRequestLength(pending_);
  if (expected == 0 || pending_.size() != expected || !RtuCrcMatches(pending_))
    return;
  ReceivedFrame frame;
  frame.lineText = BytesToHex(pending_.data(), pending_.size());
  frame.body.assign(pending_.begin(), pending_.end() - 2);
  frame.checksumOk = true;
  frame.mode = FrameMode::Rtu;
  pending_.clear();
  frames.push_back(std::move(frame));
}

void FrameAssembler::FlushRtu(std::vector<ReceivedFrame> &frames) {
  ReceivedFrame frame;
  frame.lineText = BytesToHex(pending_.data(), pending_.size());
  frame.mode = FrameMode::Rtu;
  frame.checksumOk = RtuCrcMatches(pending_);
  if (frame.checksumOk)
    frame.body.assign(pending_.begin(), pending_.end() - 2);
  pending_.clear();
  frames.push_back(std::move(frame));
}
