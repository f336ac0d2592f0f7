#include "log/RejectionReason.h"

#include "protocol/ReplyCheck.h"

#include <cctype>

namespace {
// An ASCII frame that passed the framing checks is kept as ":" + body + the
// CR LF marks; anything else was shown as it came.
bool WellFormedAscii(const std::string &replyText, const std::string &replyBody) {
  return replyText == ":" + replyBody + "/x0D/x0A";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}
} // namespace

std::string RejectionReason(const std::string &replyText, const std::string &replyBody,
                            const std::string &lastSent, bool rtu) {
  if (!rtu && !WellFormedAscii(replyText, replyBody))
    return "malformed frame";
  switch (CheckReply(replyBody, lastSent, rtu)) {
  case ReplyFault::Address:
    return "wrong address";
  case ReplyFault::Function:
    // the drive's exception replies set the high bit of the function
    if (replyBody.size() >= 6 && HexDigit(replyBody[2]) >= 8)
      return "exception " + replyBody.substr(4, 2);
    return "wrong function";
  case ReplyFault::Checksum:
    return "wrong checksum";
  case ReplyFault::Length:
    return "wrong length";
  case ReplyFault::None:
    break;
  }
  return "malformed frame";
}
