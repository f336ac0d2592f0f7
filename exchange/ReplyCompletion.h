#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Whether a reply is whole yet, judged from what has arrived and the request
// it answers, so that it can be handled the moment its last byte is in.
namespace ReplyCompletion {

// An exception reply: the function code with its top bit set, then one
// exception code; in RTU 5 bytes with the CRC.
constexpr std::uint8_t ExceptionBit = 0x80;
constexpr std::size_t ExceptionBytes = 5;

enum class State {
  Incomplete,    // more bytes are due
  Complete,      // `length` characters of the buffer are the reply
  UnknownLength, // nothing tells where it ends: a silence on the line does
};

struct Extent {
  State state = State::Incomplete;
  std::size_t length = 0; // in characters of the receive buffer
};

// ASCII: the buffer (characters as received) up to and with its first CR LF.
Extent AsciiExtent(const std::string &buffer);

// RTU: the bytes of the reply that the request (hex text, address first)
// asks for when it is no exception; 0 when the request does not tell.
std::size_t RtuReplyBytes(const std::string &request);

// RTU: the buffer holds the bytes as hex pairs; `request` is the body last
// sent (hex text, address first). An exception reply is 5 bytes; replies to
// reads and writes have the length their request implies; what does not
// start with the request's address has no known length.
Extent RtuExtent(const std::string &buffer, const std::string &request);

// Modbus TCP: the buffer holds the bytes as hex pairs; the frame's own
// length field tells where it ends. A length no reply can have leaves only
// the silence to end it.
Extent TcpExtent(const std::string &buffer);

// The silence after which an RTU frame of unknown length is over: 3.5
// characters of 11 bits, and no less than 2 ms, as a terminal's reads are not
// timed closer than that.
int SilenceMs(std::uint32_t baud);

// A USB serial adapter hands what it received over in packets, as often as
// its latency timer says: 1 to 16 ms (16 as most drivers deliver it). A
// reply whose length nothing tells is over only after a silence longer than
// that, with room for a busy machine's late wake-up, never after 3.5
// characters alone.
constexpr int AdapterPacketGapMs = 30;

} // namespace ReplyCompletion
