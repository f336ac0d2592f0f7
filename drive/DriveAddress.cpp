#include "drive/DriveAddress.h"

#include "protocol/ConvertError.h"

namespace DriveAddress {

std::optional<int> Parse(const std::string &text) {
  int value = 0;
  if (!TryStrToInt(text, value) || value < Broadcast || value > Highest)
    return std::nullopt;
  return value;
}

FieldCheck Check(const std::string &text) {
  int value = 0;
  // A text too long for an integer is as far out of range as 248.
  const bool tooLarge = !text.empty() && (!TryStrToInt(text, value) || value > Highest);
  if (text.empty() || tooLarge)
    return FieldCheck::Bad(RangeMessage, true);
  return FieldCheck::Good();
}

std::string ToHex(int address) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  unsigned value = static_cast<unsigned>(address);
  do {
    out.insert(out.begin(), digits[value & 0x0F]);
    value >>= 4;
  } while (value != 0);
  while (out.size() < 2)
    out.insert(out.begin(), '0');
  return out;
}

} // namespace DriveAddress
