#include "protocol/ConvertError.h"

#include <cctype>
#include <cstdint>

EConvertError EConvertError::NotAnInteger(const std::string &text) {
  return EConvertError("'" + text + "' is not a valid integer value");
}

bool TryStrToInt(const std::string &text, int &value) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size())
    return false;
  std::int64_t result = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int digit;
    if (std::isdigit(c))
      digit = c - '0';
    else if (base == 16 && std::isxdigit(c))
      digit = std::toupper(c) - 'A' + 10;
    else
      return false;
    result = result * base + digit;
    if (result > (base == 16 ? 0xFFFFFFFFLL : 0x80000000LL))
      return false;
  }
  if (base == 16 && result > 0x7FFFFFFF)
    result = static_cast<std::int32_t>(static_cast<std::uint32_t>(result));
  if (negative)
    result = -result;
  if (result > INT32_MAX || result < INT32_MIN)
    return false;
  value = static_cast<int>(result);
  return true;
}

int StrToInt(const std::string &text) {
  int value = 0;
  if (!TryStrToInt(text, value))
    throw EConvertError::NotAnInteger(text);
  return value;
}
