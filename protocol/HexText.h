#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Hex text helpers and the two Modbus checksums. Byte strings travel as hex
// text: two digits per byte, most significant first, no separators.

// Decimal separator of the user's locale; written only by LoadDecimalSeparator.
extern std::string LocaleDecimalSeparator;

extern const char *const HexDigits; // "0123456789ABCDEF"

void LoadDecimalSeparator();

std::string RightChars(const std::string &text, std::uint16_t count);
std::string LeftChars(const std::string &text, std::uint16_t count);
bool IsAllDigits(const std::string &text);
std::string PadDecimals(const std::string &number, int digits);
// Raises EConvertError for a character that is neither a digit nor a hex letter.
std::int32_t HexToInt(const std::string &hex);
int CountOccurrences(const std::string &text, const std::string &pattern);
std::string ByteToHex(std::uint8_t value);
std::uint8_t HexToByte(const std::string &hex);
bool HasNonHexDigit(const std::string &frame);
namespace HexTextTables {
// Every character's value as a hex digit: a reply's text is read a
// character at a time, several times an exchange.
constexpr std::array<std::int8_t, 256> DigitValues = [] {
  std::array<std::int8_t, 256> values{};
  for (int c = 0; c < 256; ++c)
    values[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c >= '0' && c <= '9'   ? c - '0'
                                                                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                                                          : -1);
  return values;
}();
} // namespace HexTextTables

// The value of one hex digit (either case), or -1 for any other character.
inline int HexDigitValue(char c) { return HexTextTables::DigitValues[static_cast<unsigned char>(c)]; }
// The byte that the two hex digits at `at` of `text` write, or -1 when there
// are not two hex digits there.
inline int HexByteAt(const std::string &text, std::size_t at) {
  if (text.size() < at + 2)
    return -1;
  const int high = HexDigitValue(text[at]);
  const int low = HexDigitValue(text[at + 1]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}
std::string ComputeLRC(const std::string &hex);
std::string ComputeCRC16(const std::vector<std::uint8_t> &bytes, std::size_t count);
// The two checksums as values, for frames held as bytes: the CRC's low byte
// goes on the wire first.
std::uint8_t LrcOf(const std::uint8_t *bytes, std::size_t count);
std::uint16_t Crc16Of(const std::uint8_t *bytes, std::size_t count);

// The bytes as upper-case hex text, two digits each.
std::string BytesToHex(const std::uint8_t *bytes, std::size_t count);
