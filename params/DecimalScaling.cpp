#include "params/DecimalScaling.h"

#include "params/ParameterCodes.h"
#include "protocol/ConvertError.h"

#include <charconv>
#include <cstdio>

namespace DecimalScaling {
namespace {

bool AllDigits(const std::string &text) {
  for (char c : text)
    if (c < '0' || c > '9')
      return false;
  return true;
}

std::size_t FindSeparator(const std::string &text, const std::string &separator) {
  return separator.empty() ? std::string::npos : text.find(separator);
}

EConvertError NotAFloat(const std::string &text) {
  return EConvertError("'" + text + "' is not a valid floating point value");
}

} // namespace

std::string NormalizeDecimals(const std::string &text, int decimals, const std::string &separator) {
  const std::size_t at = FindSeparator(text, separator);
  if (at == std::string::npos) {
    if (decimals <= 0 || text.empty())
      return text;
    return text + separator + std::string(static_cast<std::size_t>(decimals), '0');
  }
  const std::string integerPart = text.substr(0, at);
  if (decimals <= 0)
    return integerPart;
  const std::string fraction = (text.substr(at + separator.size()) + "000").substr(0, decimals);
  return (integerPart.empty() ? "0" : integerPart) + separator + fraction;
}

std::optional<std::uint16_t> ToRegisterValue(const std::string &normalized, int decimals,
                                             const std::string &separator) {
  std::string digits = normalized;
  if (decimals > 0) {
    const std::size_t at = FindSeparator(normalized, separator);
    if (at == std::string::npos)
      throw NotAFloat(normalized);
    digits = normalized.substr(0, at) + normalized.substr(at + separator.size());
  }
  if (digits.empty() || !AllDigits(digits))
    throw NotAFloat(normalized);
  // Leading zeros do not count towards the size of the value.
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos)
    return 0;
  if (digits.size() - first > 5)
    return std::nullopt;
  const unsigned long value = std::stoul(digits.substr(first));
  if (value > MaxRegisterValue)
    return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::string RegisterHex(std::uint16_t value) {
  char text[5];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
  return text;
}

std::string FormatRegisterValue(std::uint32_t value, int decimals, const std::string &separator) {
  if (decimals <= 0)
    return std::to_string(value);
  std::uint32_t scale = 1;
  for (int i = 0; i < decimals; ++i)
    scale *= 10;
  std::string fraction = std::to_string(value % scale);
  fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
  return std::to_string(value / scale) + separator + fraction;
}

int RegisterDecimals(std::uint16_t registerAddress) {
  const unsigned group = registerAddress >> 8;
  const unsigned number = registerAddress & 0xFF;
  if (group > 13 || number > 99)
    return 0;
  const char shortCode[] = {"0123456789ABCD"[group], static_cast<char>('0' + number / 10),
                            static_cast<char>('0' + number % 10), '\0'};
  return DecimalPlaces(shortCode);
}

double ParseDecimal(const std::string &text, const std::string &separator) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
    --end;
  std::string body = text.substr(begin, end - begin);
  double sign = 1.0;
  if (!body.empty() && (body[0] == '-' || body[0] == '+')) {
    if (body[0] == '-')
      sign = -1.0;
    body.erase(0, 1);
  }
  std::string integerPart = body, fraction;
  const std::size_t at = FindSeparator(body, separator);
  if (at != std::string::npos) {
    integerPart = body.substr(0, at);
    fraction = body.substr(at + separator.size());
  }
  if ((integerPart.empty() && fraction.empty()) || !AllDigits(integerPart) || !AllDigits(fraction))
    throw NotAFloat(text);
  // Parsed from a "." text so that equal texts give equal numbers whatever
  // the process locale says.
  const std::string plain = (integerPart.empty() ? "0" : integerPart) + "." + fraction + "0";
  double value = 0.0;
  std::from_chars(plain.data(), plain.data() + plain.size(), value);
  return sign * value;
}

std::string ReplaceSeparator(const std::string &text, const std::string &from, const std::string &to) {
  if (from.empty() || from == to)
    return text;
  std::string out;
  std::size_t pos = 0;
  for (std::size_t at; (at = text.find(from, pos)) != std::string::npos; pos = at + from.size())
    out += text.substr(pos, at - pos) + to;
  return out + text.substr(pos);
}

std::string WithSeparator(const std::string &text, const std::string &separator) {
  if (separator.empty())
    return text;
  return ReplaceSeparator(ReplaceSeparator(text, ".", separator), ",", separator);
}

} // namespace DecimalScaling
