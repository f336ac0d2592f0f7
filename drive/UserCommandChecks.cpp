#include "drive/UserCommandChecks.h"

#include "protocol/HexText.h"

namespace UserCommandChecks {
namespace {
FieldCheck CheckHexField(const std::string &text, const char *tooLongMessage, std::string &padded) {
  if (text.empty())
    return FieldCheck::Bad("Invalid input! ", true);
  if (text.size() >= 5)
    return FieldCheck::Bad(tooLongMessage, true);
  padded = PadToFour(text);
  return FieldCheck::Good();
}
} // namespace

std::string PadToFour(const std::string &text) { return RightChars("0000" + text, 4); }

FieldCheck CheckRegister(const std::string &text, std::string &padded) {
  return CheckHexField(text, "Error input! Please input hex data range:0000-FFFF!", padded);
}

FieldCheck CheckCountOrValue(const std::string &text, std::string &padded) {
  return CheckHexField(text, "Invalid input! Valid range:0000-FFFF!", padded);
}

} // namespace UserCommandChecks
