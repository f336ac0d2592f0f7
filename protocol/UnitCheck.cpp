#include "protocol/UnitCheck.h"

#include <algorithm>

namespace {
constexpr std::uint8_t ReadHolding = 0x03;
constexpr std::uint8_t WriteRegister = 0x06;
constexpr std::size_t WriteUnitBytes = 6; // address, function, register, value

// A reply whose checksum is right may still claim more or fewer data bytes
// than it carries; such a reply is no value.
bool LengthWrong(const Unit &reply, const Unit &request) {
  const std::span<const std::uint8_t> data = reply.Data();
  if (reply.Function() == ReadHolding) {
    if (data.empty() || data.size() != 1u + data[0])
      return true;
    const std::span<const std::uint8_t> asked = request.Data();
    return asked.size() >= 4 && data[0] != 2 * (asked[2] << 8 | asked[3]);
  }
  return reply.Function() == WriteRegister && reply.bytes.size() != WriteUnitBytes;
}

// A drive that took a write repeats it; any other register or value is no
// confirmation of what was asked.
bool WriteNotRepeated(const Unit &reply, const Unit &request) {
  if (reply.Function() != WriteRegister)
    return false;
  const std::span<const std::uint8_t> asked =
      request.Data().first(std::min<std::size_t>(request.Data().size(), 4));
  const std::span<const std::uint8_t> repeated = reply.Data().first(4);
  return !std::equal(asked.begin(), asked.end(), repeated.begin(), repeated.end());
}
} // namespace

ReplyFault CheckUnit(const Unit &reply, bool checksumRight, const Unit &request) {
  if (reply.bytes.empty() || reply.Address() != request.Address())
    return ReplyFault::Address;
  if (reply.bytes.size() < 2 || reply.Function() != request.Function())
    return ReplyFault::Function;
  if (!checksumRight)
    return ReplyFault::Checksum;
  if (LengthWrong(reply, request))
    return ReplyFault::Length;
  return WriteNotRepeated(reply, request) ? ReplyFault::Value : ReplyFault::None;
}

int RefusalCode(const Unit &reply, bool checksumRight, const Unit &request) {
  const bool refusal = checksumRight && reply.bytes.size() == 3 && request.bytes.size() >= 2 &&
                       reply.Address() == request.Address() &&
                       reply.Function() == (request.Function() | 0x80);
  return refusal ? reply.bytes[2] : -1;
}

namespace {
bool AnswersOrRefuses(const Unwrapped &reply, const Unit &request) {
  const bool right = reply.fault == Unwrapped::Fault::None;
  return CheckUnit(reply.unit, right, request) == ReplyFault::None ||
         RefusalCode(reply.unit, right, request) >= 0;
}

bool RightReplyAfterNoise(const Codec &codec, std::span<const std::uint8_t> frame, const Unit &request) {
  constexpr std::size_t Shortest = 4; // address, function, CRC
  for (std::size_t skip = 1; skip + Shortest <= frame.size(); ++skip)
    if (AnswersOrRefuses(codec.unwrap(frame.subspan(skip)), request))
      return true;
  return false;
}
} // namespace

ReplyRejection RejectionOfUnit(const Codec &codec, std::span<const std::uint8_t> frame,
                               const Unwrapped &reply, const Unit &request) {
  using Kind = ReplyRejection::Kind;
  if (reply.fault != Unwrapped::Fault::None && reply.fault != Unwrapped::Fault::Checksum)
    return {Kind::Malformed};
  const bool right = reply.fault == Unwrapped::Fault::None;
  if (const int code = RefusalCode(reply.unit, right, request); code >= 0)
    return {Kind::Exception, code};
  const ReplyFault fault = CheckUnit(reply.unit, right, request);
  if (codec.framing == Framing::Rtu && fault != ReplyFault::None &&
      RightReplyAfterNoise(codec, frame, request))
    return {Kind::NoiseBefore};
  return RejectionOfFault(fault);
}
