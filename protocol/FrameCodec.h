#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A request or reply as the drive means it, and the three envelopes it
// travels in. Each framing is one table of functions over bytes: the line's
// setup picks the table, nothing else asks which framing it is.

enum class Framing { Ascii, Rtu, Tcp };

// Address, function code and data, no checksum. A unit taken from a frame
// too short to hold both address and function holds what came.
struct Unit {
  std::vector<std::uint8_t> bytes;

  std::uint8_t Address() const { return bytes.empty() ? 0 : bytes[0]; }
  std::uint8_t Function() const { return bytes.size() < 2 ? 0 : bytes[1]; }
  std::span<const std::uint8_t> Data() const {
    return bytes.size() < 2 ? std::span<const std::uint8_t>() : std::span(bytes).subspan(2);
  }
  bool operator==(const Unit &) const = default;
};

// A request body as the sessions write it (hex text, address first).
// Raises EConvertError for a pair that is no hex number.
Unit UnitOfBody(const std::string &body);

// The data bytes of the reply the request asks for when it is no
// exception, or 0 when the request does not tell: a read's byte count and
// registers, a write's register and value repeated.
std::size_t ReplyDataBytes(const Unit &request);

// How long a reply that has begun will be.
struct ReplyExtent {
  enum class State {
    Incomplete,    // more bytes are due before anything tells
    Complete,      // `length` bytes of what came are the reply
    UnknownLength, // nothing tells where it ends: a silence on the line does
  };
  State state = State::Incomplete;
  std::size_t length = 0;
};

// A unit taken out of wire bytes.
struct Unwrapped {
  enum class Fault {
    None,
    Checksum,    // LRC or CRC wrong, or the frame too short to carry one
    Malformed,   // no frame: ASCII without ':' or CR LF or with other than upper-case hex digits
    Protocol,    // Modbus TCP: a protocol id other than 0
    LengthField, // Modbus TCP: a length field that disagrees with the frame
  };
  Fault fault = Fault::Malformed;
  Unit unit;                     // also under a wrong checksum: its address and function still tell
  std::uint16_t transaction = 0; // Modbus TCP
};

struct Codec {
  Framing framing;
  // The unit's frame for the wire; `transaction` goes into Modbus TCP's header only.
  std::vector<std::uint8_t> (*frame)(const Unit &unit, std::uint16_t transaction);
  // How long the reply to `request` that `received` begins will be.
  ReplyExtent (*extent)(std::span<const std::uint8_t> received, const Unit &request);
  // The unit of a whole frame.
  Unwrapped (*unwrap)(std::span<const std::uint8_t> frame);
};

namespace Codecs {
// ":" + hex text of the unit + LRC + CR LF.
extern const Codec Ascii;
// The unit's bytes + CRC-16, low byte first.
extern const Codec Rtu;
// Transaction id, protocol id 0, the length of what follows, then the unit; no checksum.
extern const Codec Tcp;
} // namespace Codecs

const Codec &CodecOf(Framing framing);
