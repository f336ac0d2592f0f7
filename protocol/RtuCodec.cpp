#include "protocol/FrameCodec.h"

#include "protocol/HexText.h"

#include <algorithm>

namespace {
constexpr std::uint8_t ExceptionBit = 0x80;
constexpr std::size_t CrcBytes = 2;
constexpr std::size_t HeadBytes = 2; // address and function

ReplyExtent Bytes(std::size_t count, std::size_t received) {
  if (received < count)
    return {};
  return {ReplyExtent::State::Complete, count};
}

std::vector<std::uint8_t> Frame(const Unit &unit, std::uint16_t) {
  std::vector<std::uint8_t> frame;
  frame.reserve(unit.bytes.size() + CrcBytes);
  frame.assign(unit.bytes.begin(), unit.bytes.end());
  const std::uint16_t crc = Crc16Of(unit.bytes.data(), unit.bytes.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

ReplyExtent Extent(std::span<const std::uint8_t> received, const Unit &request) {
  if (received.size() < HeadBytes)
    return {}; // the function code decides, and it is not in yet
  // Another address, or noise ahead of the frame: nothing tells where it
  // ends but the line falling silent, not where its length seems to say.
  if (received[0] != request.Address())
    return {ReplyExtent::State::UnknownLength, 0};
  if (received[1] & ExceptionBit)
    return Bytes(HeadBytes + 1 + CrcBytes, received.size());
  const std::size_t data = received[1] == request.Function() ? ReplyDataBytes(request) : 0;
  if (data == 0)
    return {ReplyExtent::State::UnknownLength, 0};
  return Bytes(HeadBytes + data + CrcBytes, received.size());
}

Unwrapped Unwrap(std::span<const std::uint8_t> frame) {
  const std::size_t n = frame.size();
  Unwrapped taken;
  // Too short for a CRC, the bytes still say who answered and with what.
  const std::size_t unitBytes = n < CrcBytes ? n : std::max(std::min(n, HeadBytes), n - CrcBytes);
  taken.unit.bytes.assign(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(unitBytes));
  const bool right =
      n >= CrcBytes && Crc16Of(frame.data(), n - CrcBytes) == (frame[n - 2] | frame[n - 1] << 8);
  taken.fault = right ? Unwrapped::Fault::None : Unwrapped::Fault::Checksum;
  return taken;
}
} // namespace

const Codec Codecs::Rtu{Framing::Rtu, Frame, Extent, Unwrap};
