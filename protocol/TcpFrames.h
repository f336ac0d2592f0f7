#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Modbus TCP: the drive's request and reply (unit id = drive address, then
// function and data) behind a seven-byte application header: transaction id,
// protocol id 0, the length of what follows the length field, unit id; no
// checksum, as TCP carries its own.
namespace TcpFrames {

constexpr std::size_t HeaderBytes = 7;
// Bytes before the length field's count starts: transaction id, protocol id, length.
constexpr std::size_t LengthFieldEnd = 6;

// The frame of `adu` (the request's bytes, address first, no checksum) with `transaction`.
std::vector<std::uint8_t> Build(std::uint16_t transaction, const std::vector<std::uint8_t> &adu);

struct Header {
  std::uint16_t transaction = 0;
  std::uint16_t protocol = 0;
  std::uint16_t length = 0; // unit id, function and data
  std::uint8_t unit = 0;
};
// The header of `bytes`, when its seven bytes are in.
std::optional<Header> ReadHeader(const std::vector<std::uint8_t> &bytes);

// The whole frame's bytes as its length field says, when its first six are in.
std::optional<std::size_t> FrameBytes(const std::vector<std::uint8_t> &bytes);

// The frame's unit id, function and data as the RTU frame that carries them
// (its CRC added), so that one check serves both framings.
std::vector<std::uint8_t> AsRtuFrame(const std::vector<std::uint8_t> &frame);

// The reply bytes a request implies in TCP, given those it implies in RTU
// (address and CRC included); 0 stays 0 (not known).
std::size_t ReplyBytesFromRtu(std::size_t rtuBytes);

} // namespace TcpFrames
