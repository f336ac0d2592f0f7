#include "protocol/FrameCodec.h"

#include "protocol/HexText.h"

#include <algorithm>

namespace {
// Upper-case hex digits only: the drive writes no other.
int UpperDigit(std::uint8_t c) {
  return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::vector<std::uint8_t> Frame(const Unit &unit, std::uint16_t) {
  const std::size_t n = unit.bytes.size();
  std::vector<std::uint8_t> frame;
  frame.reserve(2 * n + 5);
  frame.push_back(':');
  const auto put = [&frame](std::uint8_t byte) {
    frame.push_back(static_cast<std::uint8_t>(HexDigits[byte >> 4]));
    frame.push_back(static_cast<std::uint8_t>(HexDigits[byte & 0x0F]));
  };
  for (const std::uint8_t byte : unit.bytes)
    put(byte);
  put(LrcOf(unit.bytes.data(), n));
  frame.push_back('\r');
  frame.push_back('\n');
  return frame;
}

ReplyExtent Extent(std::span<const std::uint8_t> received, const Unit &) {
  static constexpr std::uint8_t CrLf[] = {'\r', '\n'};
  const auto end = std::search(received.begin(), received.end(), std::begin(CrLf), std::end(CrLf));
  if (end == received.end())
    return {};
  return {ReplyExtent::State::Complete, static_cast<std::size_t>(end - received.begin()) + 2};
}

Unwrapped Unwrap(std::span<const std::uint8_t> frame) {
  Unwrapped taken;
  const std::size_t n = frame.size();
  if (n < 3 || frame[0] != ':' || frame[n - 2] != '\r' || frame[n - 1] != '\n')
    return taken;
  const std::span<const std::uint8_t> digits = frame.subspan(1, n - 3);
  if (std::any_of(digits.begin(), digits.end(), [](std::uint8_t c) { return UpperDigit(c) < 0; }))
    return taken;
  const std::size_t count = digits.size() / 2; // the LRC's byte included
  if (count == 0)
    return taken;
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<std::uint8_t>(UpperDigit(digits[2 * i]) << 4 | UpperDigit(digits[2 * i + 1]));
  // A digit left over leaves no LRC to read.
  const bool right = digits.size() % 2 == 0 && LrcOf(bytes.data(), count - 1) == bytes[count - 1];
  taken.fault = right ? Unwrapped::Fault::None : Unwrapped::Fault::Checksum;
  bytes.resize(std::max(std::min<std::size_t>(count, 2), count - 1));
  taken.unit.bytes = std::move(bytes);
  return taken;
}
} // namespace

const Codec Codecs::Ascii{Framing::Ascii, Frame, Extent, Unwrap};
