#include "protocol/HexText.h"

#include "protocol/ConvertError.h"

#include <QLocale>
#include <algorithm>
#include <array>

std::string LocaleDecimalSeparator;
const char *const HexDigits = "0123456789ABCDEF";

namespace {
// Values of the letters 'A' to 'F'.
constexpr std::uint8_t LetterValues[6] = {10, 11, 12, 13, 14, 15};

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }
} // namespace

void LoadDecimalSeparator() { LocaleDecimalSeparator = QLocale::system().decimalPoint().toStdString(); }

std::string RightChars(const std::string &text, std::uint16_t count) {
  if (text.size() <= count)
    return text;
  return text.substr(text.size() - count);
}

std::string LeftChars(const std::string &text, std::uint16_t count) { return text.substr(0, count); }

bool IsAllDigits(const std::string &text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlankOrControl(text[begin]))
    ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1]))
    --end;
  for (std::size_t i = begin; i < end; ++i)
    if (text[i] < '0' || text[i] > '9')
      return false;
  return true;
}

std::string PadDecimals(const std::string &number, int digits) {
  if (digits == 0)
    return number;
  const std::size_t at =
      LocaleDecimalSeparator.empty() ? std::string::npos : number.find(LocaleDecimalSeparator);
  if (at == std::string::npos)
    return number + LocaleDecimalSeparator + std::string(static_cast<std::size_t>(digits), '0');
  const int fraction = static_cast<int>(number.size() - at - LocaleDecimalSeparator.size());
  if (fraction >= digits)
    return number;
  return number + std::string(static_cast<std::size_t>(digits - fraction), '0');
}

std::int32_t HexToInt(const std::string &hex) {
  std::int32_t sum = 0;
  const std::size_t n = hex.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = hex[i];
    int value;
    if (c >= 'A' && c <= 'F')
      value = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      value = c - 'a' + 10;
    else
      value = StrToInt(std::string(1, c));
    double term = value;
    for (std::size_t k = i + 1; k < n; ++k)
      term *= 16.0;
    sum = static_cast<std::int32_t>(static_cast<std::int64_t>(sum) + static_cast<std::int64_t>(term));
  }
  return sum;
}

int CountOccurrences(const std::string &text, const std::string &pattern) {
  if (pattern.empty())
    return 0;
  int removed = 0;
  std::size_t pos = 0;
  while ((pos = text.find(pattern, pos)) != std::string::npos) {
    removed += static_cast<int>(pattern.size());
    pos += pattern.size();
  }
  return removed;
}

std::string ByteToHex(std::uint8_t value) {
  std::string out(2, '0');
  out[0] = HexDigits[value >> 4];
  out[1] = HexDigits[value & 0x0F];
  return out;
}

std::uint8_t HexToByte(const std::string &hex) {
  unsigned result = 0;
  unsigned digit = 0;
  const std::size_t n = hex.size();
  for (std::size_t i = 0; i < n; ++i) {
    // Only a to f matter, and they are the same in every locale.
    const char c = hex[i] >= 'a' && hex[i] <= 'z' ? static_cast<char>(hex[i] - 'a' + 'A') : hex[i];
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F')
      digit = LetterValues[c - 'A'];
    // any other character repeats the digit before it
    const std::size_t after = n - 1 - i;
    unsigned weight = after >= 2 ? 0 : (after == 1 ? 16 : 1); // 16^k mod 256
    result = (result + digit * weight) & 0xFF;
  }
  return static_cast<std::uint8_t>(result);
}

bool HasNonHexDigit(const std::string &frame) {
  if (frame.size() < 4)
    return false;
  const std::string digits = HexDigits;
  for (std::size_t i = 1; i + 2 < frame.size(); ++i)
    if (digits.find(frame[i]) == std::string::npos)
      return true;
  return false;
}

namespace {
// The two's complement of the byte sum: what makes the frame's bytes sum to 0.
std::uint8_t LrcOfSum(unsigned sum) { return static_cast<std::uint8_t>((~sum + 1) & 0xFF); }
} // namespace

std::string ComputeLRC(const std::string &hex) {
  unsigned sum = 0;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    sum = (sum + HexToByte(hex.substr(i, 2))) & 0xFF;
  return ByteToHex(LrcOfSum(sum));
}

std::uint8_t LrcOf(const std::uint8_t *bytes, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < count; ++i)
    sum += bytes[i];
  return LrcOfSum(sum);
}

namespace {
// The CRC's eight shifts of each byte value, worked out once: every frame
// sent and every reply checked takes one look-up a byte.
constexpr std::array<std::uint16_t, 256> Crc16Table() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    std::uint16_t crc = static_cast<std::uint16_t>(value);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<std::uint16_t>(crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1);
    table[value] = crc;
  }
  return table;
}
constexpr std::array<std::uint16_t, 256> Crc16Steps = Crc16Table();
} // namespace

std::uint16_t Crc16Of(const std::uint8_t *bytes, std::size_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i)
    crc = static_cast<std::uint16_t>((crc >> 8) ^ Crc16Steps[(crc ^ bytes[i]) & 0xFF]);
  return crc;
}

std::string ComputeCRC16(const std::vector<std::uint8_t> &bytes, std::size_t count) {
  const std::uint16_t crc = Crc16Of(bytes.data(), std::min(count, bytes.size()));
  return ByteToHex(static_cast<std::uint8_t>(crc & 0xFF)) + ByteToHex(static_cast<std::uint8_t>(crc >> 8));
}

std::string BytesToHex(const std::uint8_t *bytes, std::size_t count) {
  std::string out(count * 2, '0');
  for (std::size_t i = 0; i < count; ++i) {
    out[2 * i] = HexDigits[bytes[i] >> 4];
    out[2 * i + 1] = HexDigits[bytes[i] & 0x0F];
  }
  return out;
}
