#include "protocol/TcpFrames.h"

#include "protocol/Frames.h"
#include "protocol/HexText.h"

namespace TcpFrames {
namespace {
std::uint16_t WordAt(const std::vector<std::uint8_t> &bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void PutWord(std::vector<std::uint8_t> &bytes, std::uint16_t word) {
  bytes.push_back(static_cast<std::uint8_t>(word >> 8));
  bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
}
} // namespace

std::vector<std::uint8_t> Build(std::uint16_t transaction, const std::vector<std::uint8_t> &adu) {
  std::vector<std::uint8_t> frame;
  frame.reserve(LengthFieldEnd + adu.size());
  PutWord(frame, transaction);
  PutWord(frame, 0);
  PutWord(frame, static_cast<std::uint16_t>(adu.size()));
  frame.insert(frame.end(), adu.begin(), adu.end());
  return frame;
}

std::optional<Header> ReadHeader(const std::vector<std::uint8_t> &bytes) {
  if (bytes.size() < HeaderBytes)
    return std::nullopt;
  return Header{WordAt(bytes, 0), WordAt(bytes, 2), WordAt(bytes, 4), bytes[6]};
}

std::optional<std::size_t> FrameBytes(const std::vector<std::uint8_t> &bytes) {
  if (bytes.size() < LengthFieldEnd)
    return std::nullopt;
  return LengthFieldEnd + WordAt(bytes, 4);
}

std::vector<std::uint8_t> AsRtuFrame(const std::vector<std::uint8_t> &frame) {
  std::vector<std::uint8_t> rtu(
      frame.begin() + static_cast<std::ptrdiff_t>(std::min(frame.size(), LengthFieldEnd)), frame.end());
  const std::vector<std::uint8_t> crc = HexPairsToBytes(ComputeCRC16(rtu, rtu.size()));
  rtu.insert(rtu.end(), crc.begin(), crc.end());
  return rtu;
}

std::size_t ReplyBytesFromRtu(std::size_t rtuBytes) {
  return rtuBytes == 0 ? 0 : rtuBytes - 2 + LengthFieldEnd;
}

} // namespace TcpFrames
