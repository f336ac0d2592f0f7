#include "protocol/FrameCodec.h"

#include "protocol/TcpFrames.h"

namespace {
std::vector<std::uint8_t> Frame(const Unit &unit, std::uint16_t transaction) {
  return TcpFrames::Build(transaction, unit.bytes);
}

ReplyExtent Extent(std::span<const std::uint8_t> received, const Unit &) {
  constexpr std::size_t LongestUnit = 254; // unit id, function and data of any Modbus frame
  if (received.size() < TcpFrames::LengthFieldEnd)
    return {};
  const std::size_t length = static_cast<std::size_t>(received[4] << 8 | received[5]);
  // A length no reply can have leaves only the silence to end it.
  if (length < 2 || length > LongestUnit)
    return {ReplyExtent::State::UnknownLength, 0};
  const std::size_t whole = TcpFrames::LengthFieldEnd + length;
  if (received.size() < whole)
    return {};
  return {ReplyExtent::State::Complete, whole};
}

Unwrapped Unwrap(std::span<const std::uint8_t> frame) {
  Unwrapped taken;
  if (frame.size() < TcpFrames::HeaderBytes)
    return taken;
  taken.transaction = static_cast<std::uint16_t>(frame[0] << 8 | frame[1]);
  taken.unit.bytes.assign(frame.begin() + TcpFrames::LengthFieldEnd, frame.end());
  const std::size_t length = static_cast<std::size_t>(frame[4] << 8 | frame[5]);
  taken.fault = frame[2] != 0 || frame[3] != 0                       ? Unwrapped::Fault::Protocol
                : TcpFrames::LengthFieldEnd + length != frame.size() ? Unwrapped::Fault::LengthField
                                                                     : Unwrapped::Fault::None;
  return taken;
}
} // namespace

const Codec Codecs::Tcp{Framing::Tcp, Frame, Extent, Unwrap};
