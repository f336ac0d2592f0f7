#include "protocol/FrameCodec.h"

#include "protocol/Frames.h"

Unit UnitOfBody(const std::string &body) { return {HexPairsToBytes(body)}; }

std::size_t ReplyDataBytes(const Unit &request) {
  constexpr std::size_t LongestRead = 125; // registers one reply can carry
  const std::span<const std::uint8_t> data = request.Data();
  switch (request.Function()) {
  case 0x03:
  case 0x04: {
    const std::size_t count = data.size() < 4 ? 0 : static_cast<std::size_t>(data[2] << 8 | data[3]);
    return count < 1 || count > LongestRead ? 0 : 1 + 2 * count;
  }
  case 0x05:
  case 0x06:
  case 0x0F:
  case 0x10:
    return 4;
  default:
    return 0;
  }
}

const Codec &CodecOf(Framing framing) {
  switch (framing) {
  case Framing::Ascii:
    return Codecs::Ascii;
  case Framing::Tcp:
    return Codecs::Tcp;
  case Framing::Rtu:
    break;
  }
  return Codecs::Rtu;
}
