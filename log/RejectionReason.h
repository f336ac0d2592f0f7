#pragma once

#include <string>

// Why the receive path refused a reply, in words for the traffic log:
// "malformed frame", "wrong address", "exception 02", "wrong function",
// "wrong checksum". replyText and replyBody are as the receive path keeps
// them; lastSent is the request body (hex text, address first).
std::string RejectionReason(const std::string &replyText, const std::string &replyBody,
                            const std::string &lastSent, bool rtu);
