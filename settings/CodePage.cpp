#include "settings/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace CodePage {
namespace {

// iconv in one direction, closed with the object.
class TConverter {
public:
  TConverter(const std::string &to, const std::string &from) : handle_(iconv_open(to.c_str(), from.c_str())) {
    if (handle_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error("Code page " + (to == "UTF-8" ? from : to) + " is not available");
  }
  ~TConverter() { iconv_close(handle_); }
  TConverter(const TConverter &) = delete;
  TConverter &operator=(const TConverter &) = delete;

  // Converts as much as it can; stops at a sequence it cannot convert and
  // returns false, leaving `in`/`left` on it.
  bool Run(char *&in, std::size_t &left, std::string &out) {
    char buffer[256];
    while (left > 0) {
      char *to = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t done = iconv(handle_, &in, &left, &to, &room);
      out.append(buffer, static_cast<std::size_t>(to - buffer));
      if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        return false;
      }
    }
    return true;
  }

private:
  iconv_t handle_;
};

std::size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80)
    return 1;
  if ((lead & 0xE0) == 0xC0)
    return 2;
  if ((lead & 0xF0) == 0xE0)
    return 3;
  if ((lead & 0xF8) == 0xF0)
    return 4;
  return 1;
}

void AppendUtf8(std::string &out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}
} // namespace

std::string OfLanguageDriver(unsigned char languageDriver) {
  switch (languageDriver) {
  case 0x01:
    return "CP437";
  case 0x02:
    return "CP850";
  case 0x13:
  case 0x7B:
    return "CP932";
  case 0x4D:
  case 0x7A:
    return "CP936";
  case 0x4E:
  case 0x79:
    return "CP949";
  case 0x4F:
  case 0x78:
    return "CP950";
  case 0x50:
  case 0x7C:
    return "CP874";
  case 0x64:
    return "CP852";
  case 0x65:
    return "CP866";
  case 0x66:
    return "CP865";
  case 0x67:
    return "CP861";
  case 0x6A:
    return "CP737";
  case 0x6B:
    return "CP857";
  case 0x7D:
    return "CP1255";
  case 0x7E:
    return "CP1256";
  case 0xC8:
    return "CP1250";
  case 0xC9:
    return "CP1251";
  case 0xCA:
    return "CP1254";
  case 0xCB:
    return "CP1253";
  case 0xCC:
    return "CP1257";
  default:
    return "CP1252"; // 0x03, 0x57 and tables that declare nothing
  }
}

namespace {
// Every page here keeps ASCII as it is: such a text needs no converter.
bool IsAscii(const std::string &text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}
} // namespace

std::string Decode(const std::string &bytes, const std::string &page) {
  if (IsAscii(bytes))
    return bytes;
  std::string out;
  TConverter converter("UTF-8", page);
  std::string input = bytes;
  char *in = input.data();
  std::size_t left = input.size();
  while (!converter.Run(in, left, out)) {
    AppendUtf8(out, static_cast<unsigned char>(*in));
    ++in;
    --left;
  }
  return out;
}

bool Encode(const std::string &utf8, const std::string &page, std::string &bytes, std::string &unstorable) {
  bytes.clear();
  unstorable.clear();
  // most texts (a value read, a number)
  if (IsAscii(utf8)) {
    bytes = utf8;
    return true;
  }
  TConverter converter(page, "UTF-8");
  std::string input = utf8;
  char *in = input.data();
  std::size_t left = input.size();
  while (!converter.Run(in, left, bytes)) {
    const std::size_t length = std::min(left, Utf8Length(static_cast<unsigned char>(*in)));
    const std::string character(in, length);
    if (unstorable.find(character) == std::string::npos)
      unstorable += character;
    in += length;
    left -= length;
  }
  return unstorable.empty();
}

} // namespace CodePage
