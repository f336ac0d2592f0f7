#include "protocol/ReplyRejection.h"

#include "protocol/HexText.h"
#include "protocol/ReplyCheck.h"

#include <cstdio>
#include <string>

namespace {
bool WellFormedAscii(const std::string &replyText, const std::string &replyBody) {
  return replyText == ":" + replyBody + "/x0D/x0A";
}

// The drive's refusal: its own address, the request's function with the top
// bit set, one exception code and a right checksum.
bool IsRefusal(const std::string &replyBody, const std::string &lastSent, bool rtu) {
  const int function = HexByteAt(lastSent, 2);
  if (function < 0 || replyBody.size() != 6 + (rtu ? 4u : 2u))
    return false;
  char flagged[3];
  std::snprintf(flagged, sizeof flagged, "%02X", (function | 0x80) & 0xFF);
  return CheckReply(replyBody, lastSent.substr(0, 2) + flagged, rtu) == ReplyFault::None;
}

// RTU: a right reply further on in what came, after bytes that are no frame.
bool RightReplyAfterNoise(const std::string &replyBody, const std::string &lastSent) {
  for (std::size_t skip = 2; skip + 8 <= replyBody.size(); skip += 2) {
    const std::string rest = replyBody.substr(skip);
    if (CheckReply(rest, lastSent, true) == ReplyFault::None || IsRefusal(rest, lastSent, true))
      return true;
  }
  return false;
}
} // namespace

std::string RejectionWords(const ReplyRejection &rejection) {
  using Kind = ReplyRejection::Kind;
  switch (rejection.kind) {
  case Kind::Checksum:
    return "wrong checksum";
  case Kind::Address:
    return "wrong address";
  case Kind::Function:
    return "wrong function";
  case Kind::Length:
    return "wrong length";
  case Kind::Value:
    return "write not repeated: another register or value";
  case Kind::Exception: {
    char words[16];
    std::snprintf(words, sizeof words, "exception %02X", rejection.exceptionCode & 0xFF);
    return words;
  }
  case Kind::Malformed:
    break;
  case Kind::OverLong:
    return "over-long";
  case Kind::NoiseBefore:
    return "noise before the frame";
  case Kind::Unasked:
    return "unasked data";
  case Kind::EchoDiffers:
    return "echo differs from the request";
  case Kind::OwnEcho:
    return "own request echoed: the adapter echoes requests";
  case Kind::Transaction:
    return rejection.transaction < 0 ? "wrong transaction id"
                                     : "wrong transaction id " + std::to_string(rejection.transaction);
  case Kind::Protocol:
    return "wrong protocol id";
  case Kind::LengthField:
    return "length field disagrees with the frame";
  case Kind::Repeated:
    return "a reply the line repeats: asked again";
  }
  return "malformed frame";
}

ReplyRejection ClassifyRejection(const std::string &replyText, const std::string &replyBody,
                                 const std::string &lastSent, bool rtu) {
  using Kind = ReplyRejection::Kind;
  if (!rtu && !WellFormedAscii(replyText, replyBody))
    return {Kind::Malformed};
  if (IsRefusal(replyBody, lastSent, rtu))
    return {Kind::Exception, HexByteAt(replyBody, 4)};
  const ReplyFault fault = CheckReply(replyBody, lastSent, rtu);
  if (rtu && fault != ReplyFault::None && RightReplyAfterNoise(replyBody, lastSent))
    return {Kind::NoiseBefore};
  return RejectionOfFault(fault);
}

ReplyRejection RejectionOfFault(ReplyFault fault) {
  using Kind = ReplyRejection::Kind;
  switch (fault) {
  case ReplyFault::Address:
    return {Kind::Address};
  case ReplyFault::Function:
    return {Kind::Function};
  case ReplyFault::Checksum:
    return {Kind::Checksum};
  case ReplyFault::Length:
    return {Kind::Length};
  case ReplyFault::Value:
    return {Kind::Value};
  case ReplyFault::None:
    break;
  }
  return {Kind::Malformed};
}
