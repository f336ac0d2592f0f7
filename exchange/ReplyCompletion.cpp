#include "exchange/ReplyCompletion.h"

#include "protocol/HexText.h"

#include <algorithm>
#include <cmath>

namespace ReplyCompletion {
namespace {
// The number of `digits` hex digits at `at` of `text`, or -1 when there are
// not that many or one is no hex digit.
long HexAt(const std::string &text, std::size_t at, std::size_t digits) {
  if (text.size() < at + digits)
    return -1;
  long value = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    const int d = HexDigitValue(text[i]);
    if (d < 0)
      return -1;
    value = value * 16 + d;
  }
  return value;
}

constexpr long ReadHolding = 0x03;
constexpr long ReadInput = 0x04;
constexpr long WriteCoil = 0x05;
constexpr long WriteRegister = 0x06;
constexpr long WriteCoils = 0x0F;
constexpr long WriteRegisters = 0x10;
constexpr std::size_t WriteEchoBytes = 8;
constexpr long LongestRead = 125; // registers one Modbus reply can carry

Extent Bytes(std::size_t count, std::size_t received) {
  if (received < count)
    return {};
  return {State::Complete, count * 2};
}
} // namespace

Extent AsciiExtent(const std::string &buffer) {
  const std::size_t end = buffer.find("\r\n");
  if (end == std::string::npos)
    return {};
  return {State::Complete, end + 2};
}

std::size_t RtuReplyBytes(const std::string &request) {
  switch (HexAt(request, 2, 2)) {
  case ReadHolding:
  case ReadInput: {
    const long count = HexAt(request, 8, 4);
    if (count < 1 || count > LongestRead)
      return 0;
    return 5 + 2 * static_cast<std::size_t>(count);
  }
  case WriteCoil:
  case WriteRegister:
  case WriteCoils:
  case WriteRegisters:
    return WriteEchoBytes;
  default:
    return 0;
  }
}

Extent RtuExtent(const std::string &buffer, const std::string &request) {
  const std::size_t received = buffer.size() / 2;
  const long function = HexAt(buffer, 2, 2);
  if (function < 0)
    return {}; // the function code decides, and it is not in yet
  // Another address, or noise ahead of the frame: nothing tells where it
  // ends but the line falling silent, not where its length seems to say.
  if (HexAt(buffer, 0, 2) != HexAt(request, 0, 2))
    return {State::UnknownLength, 0};
  if (function & ExceptionBit)
    return Bytes(ExceptionBytes, received);
  const std::size_t length = function == HexAt(request, 2, 2) ? RtuReplyBytes(request) : 0;
  if (length == 0)
    return {State::UnknownLength, 0};
  return Bytes(length, received);
}

Extent TcpExtent(const std::string &buffer) {
  constexpr long LongestPdu = 254; // unit id, function and data of any Modbus frame
  const long length = HexAt(buffer, 8, 4);
  if (length < 0)
    return {};
  if (length < 2 || length > LongestPdu)
    return {State::UnknownLength, 0};
  return Bytes(6 + static_cast<std::size_t>(length), buffer.size() / 2);
}

int SilenceMs(std::uint32_t baud) {
  if (baud == 0)
    return 2;
  const double ms = 3.5 * 11 * 1000 / baud;
  return std::max(2, static_cast<int>(std::ceil(ms)));
}

} // namespace ReplyCompletion
