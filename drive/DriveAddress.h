#pragma once

#include "drive/FieldCheck.h"

#include <optional>
#include <string>

// Drive (slave) addresses as the user types them: decimal, 0 to 247, where 0
// is the broadcast address.
namespace DriveAddress {
constexpr int Broadcast = 0;
constexpr int Highest = 247;
inline constexpr const char *RangeMessage = "Invalid input! Valid range:0-247!";

// The address held by a decimal text, or nothing when the text is not a
// whole number in 0..247.
std::optional<int> Parse(const std::string &text);

// The check made when an address box is left: empty or 248 and more is
// refused with "Invalid input! Valid range:0-247!".
FieldCheck Check(const std::string &text);

// The address as two (or more) upper-case hex digits, as it leads a request.
std::string ToHex(int address);
} // namespace DriveAddress
