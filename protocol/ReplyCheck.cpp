#include "protocol/ReplyCheck.h"

#include "protocol/HexText.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {
const std::string LoggedCrLf = "/x0D/x0A";

// The characters [from, from + count) of a text, fewer when it is short.
std::string_view Part(const std::string &text, std::size_t from, std::size_t count) {
  return from >= text.size() ? std::string_view() : std::string_view(text).substr(from, count);
}

// Whether two parts read the same, letters in either case: a reply is
// checked against its request for every exchange, without a copy of either.
bool SameUpper(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](unsigned char x, unsigned char y) { return std::toupper(x) == std::toupper(y); });
}
} // namespace

AsciiReply SplitAsciiReply(const std::string &received) {
  AsciiReply reply;
  const std::size_t n = received.size();
  reply.body = n >= 3 ? received.substr(1, n - 3) : std::string();
  reply.text = received;
  if (n < 3 || received[0] != ':' || received[n - 2] != '\r' || received[n - 1] != '\n')
    return reply;
  if (HasNonHexDigit(received))
    return reply;
  reply.wellFormed = true;
  reply.bytes = HexTextToBytes(reply.body);
  reply.text = received.substr(0, n - 2) + LoggedCrLf;
  return reply;
}

std::vector<std::uint8_t> HexTextToBytes(const std::string &hex) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    // two hex digits, nearly always; HexToByte knows what anything else reads as
    const int value = HexByteAt(hex, i);
    bytes.push_back(value >= 0 ? static_cast<std::uint8_t>(value) : HexToByte(hex.substr(i, 2)));
  }
  return bytes;
}

namespace {
// Registers asked for by a read request (characters 9 to 12 of its body),
// or -1 when the request does not hold them as hex digits.
int RequestedRegisters(const std::string &lastSentFrame) {
  if (lastSentFrame.size() < 12)
    return -1;
  int count = 0;
  for (const char c : lastSentFrame.substr(8, 4)) {
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      return -1;
    count = count * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10);
  }
  return count;
}

// A reply whose checksum is right may still claim more or fewer data bytes
// than it carries; such a reply is no value.
ReplyFault LengthFault(const std::vector<std::uint8_t> &bytes, std::size_t checksumBytes,
                       const std::string &lastSentFrame) {
  if (bytes.size() < 2)
    return ReplyFault::None;
  if (bytes[1] == 3) {
    if (bytes.size() < 3 + checksumBytes || bytes.size() != 3 + bytes[2] + checksumBytes)
      return ReplyFault::Length;
    const int registers = RequestedRegisters(lastSentFrame);
    if (registers >= 0 && bytes[2] != 2 * registers)
      return ReplyFault::Length;
  } else if (bytes[1] == 6 && bytes.size() != 6 + checksumBytes) {
    return ReplyFault::Length;
  }
  return ReplyFault::None;
}

// A drive that took a write repeats it; any other register or value is no
// confirmation of what was asked.
ReplyFault WriteEchoFault(const std::string &replyBody, const std::string &lastSentFrame) {
  if (!SameUpper(Part(replyBody, 2, 2), "06"))
    return ReplyFault::None;
  if (!SameUpper(Part(replyBody, 4, 8), Part(lastSentFrame, 4, 8)))
    return ReplyFault::Value;
  return ReplyFault::None;
}
} // namespace

ReplyFault CheckReply(const std::string &replyBody, const std::string &lastSentFrame, bool rtu) {
  if (!SameUpper(Part(replyBody, 0, 2), Part(lastSentFrame, 0, 2)))
    return ReplyFault::Address;
  if (!SameUpper(Part(replyBody, 2, 2), Part(lastSentFrame, 2, 2)))
    return ReplyFault::Function;
  std::vector<std::uint8_t> bytes;
  if (rtu) {
    bytes = HexTextToBytes(replyBody);
    if (bytes.size() < 2)
      return ReplyFault::Checksum;
    if (ComputeCRC16(bytes, bytes.size() - 2) != RightChars(replyBody, 4))
      return ReplyFault::Checksum;
  } else {
    if (replyBody.size() < 2)
      return ReplyFault::Checksum;
    if (ComputeLRC(replyBody.substr(0, replyBody.size() - 2)) != RightChars(replyBody, 2))
      return ReplyFault::Checksum;
    bytes = HexTextToBytes(replyBody);
  }
  const ReplyFault length = LengthFault(bytes, rtu ? 2 : 1, lastSentFrame);
  return length != ReplyFault::None ? length : WriteEchoFault(replyBody, lastSentFrame);
}

ReplyConsumer ConsumerOfReply(std::uint8_t function, const std::string &lastSentFrame) {
  if (lastSentFrame.size() < 5 || (function != 3 && function != 6))
    return ReplyConsumer::None;
  const int value = HexDigitValue(lastSentFrame[4]);
  // what is no hex digit raises the conversion error, as it always did
  const int digit = value >= 0 ? value : HexToInt(lastSentFrame.substr(4, 1));
  if (function == 3) {
    if (digit == 0)
      return ReplyConsumer::ReadParameter;
    if (digit == 1)
      return ReplyConsumer::DriveStatus;
  } else {
    if (digit == 0)
      return ReplyConsumer::ModifyParameter;
    if (digit == 2)
      return ReplyConsumer::ControlLamps;
  }
  return ReplyConsumer::None;
}

bool IsExceptionReply(const std::string &replyBody, const std::string &lastSentFrame, int code) {
  if (replyBody.size() < 6 || lastSentFrame.size() < 4)
    return false;
  const std::vector<std::uint8_t> reply = HexTextToBytes(replyBody.substr(0, 6));
  const std::vector<std::uint8_t> sent = HexTextToBytes(lastSentFrame.substr(0, 4));
  return reply.size() == 3 && sent.size() == 2 && reply[0] == sent[0] && reply[1] == (sent[1] | 0x80) &&
         reply[2] == code;
}
