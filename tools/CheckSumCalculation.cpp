#include "tools/CheckSumCalculation.h"

#include "protocol/ConvertError.h"
#include "protocol/HexText.h"

#include <cctype>

bool IsCheckSumKey(char c) { return c == 8 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

std::vector<std::uint8_t> CheckSumBytes(const std::string &text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    const std::string pair = text.substr(i, 2);
    if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
        !std::isxdigit(static_cast<unsigned char>(pair[1])))
      throw EConvertError::NotAnInteger("$" + pair);
    bytes.push_back(HexToByte(pair));
  }
  return bytes;
}
