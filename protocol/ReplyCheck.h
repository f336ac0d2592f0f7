#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Checking a candidate reply against the request it should answer, and
// choosing the consumer of an accepted reply by the requested register.

// An ASCII reply taken apart. A frame is well formed when it starts with ":",
// ends with CR LF and holds only upper-case hex digits in between.
struct AsciiReply {
  bool wellFormed = false;
  std::string text;                // as logged: frame without CR LF + "/x0D/x0A", or the raw text
  std::string body;                // between the colon and CR LF (data and LRC)
  std::vector<std::uint8_t> bytes; // the body decoded, LRC byte included (well-formed frames only)
};

AsciiReply SplitAsciiReply(const std::string &received);

// Hex text (two digits per byte) to bytes; a last single digit is ignored.
std::vector<std::uint8_t> HexTextToBytes(const std::string &hex);

enum class ReplyFault {
  None,
  Address,  // another drive answered, or nothing usable
  Function, // another function, including exception replies (high bit set)
  Checksum, // LRC or CRC wrong
  Length,   // the byte count or the length does not fit the data or the request
  Value     // a write's reply that is not its request's register and value
};

// replyBody: ASCII, the characters between the colon and CR LF; RTU, the hex
// text of every received byte, CRC included. The whole reply is checked,
// however long it is. Hex digits compare without regard to case. A read
// reply (03) must carry exactly the bytes its byte count names, two for each
// register requested; a write reply (06) is six bytes and its checksum and
// repeats the request's register and value.
ReplyFault CheckReply(const std::string &replyBody, const std::string &lastSentFrame, bool rtu);

// True when `replyBody` (as for CheckReply) is the exception reply with
// `code` from the drive that `lastSentFrame` was sent to, for its function.
bool IsExceptionReply(const std::string &replyBody, const std::string &lastSentFrame, int code);

enum class ReplyConsumer { None, ReadParameter, DriveStatus, ModifyParameter, ControlLamps };

// Function 03 or 06 and the first digit of the requested register decide:
// 0xxx function parameters, 1xxx the status block, 2xxx the control register.
// A non-hex register digit raises EConvertError.
ReplyConsumer ConsumerOfReply(std::uint8_t function, const std::string &lastSentFrame);
