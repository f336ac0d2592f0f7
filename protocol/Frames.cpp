#include "protocol/Frames.h"

#include "protocol/ConvertError.h"
#include "protocol/HexText.h"

#include <chrono>
#include <cstdio>
#include <ctime>

LocalTime CurrentLocalTime() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm parts{};
  localtime_r(&seconds, &parts);
  LocalTime time;
  time.year = parts.tm_year + 1900;
  time.month = parts.tm_mon + 1;
  time.day = parts.tm_mday;
  time.hour = parts.tm_hour;
  time.minute = parts.tm_min;
  time.second = parts.tm_sec;
  time.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return time;
}

std::string FormatTimeStamp(const LocalTime &time) {
  char text[64];
  std::snprintf(text, sizeof text, "[%.4d-%.2d-%.2d %.2d:%.2d:%.2d:%.3d]", time.year, time.month, time.day,
                time.hour, time.minute, time.second, time.millisecond);
  return text;
}

std::string BodyRefusal(const std::string &body, bool rtu, bool raw) {
  if (body.empty())
    return "empty command";
  if (body.size() % 2 != 0)
    return "odd number of hex digits";
  if (rtu) {
    const std::size_t frameBytes = body.size() / 2 + (raw ? 0 : 2);
    if (frameBytes > SendBufferSize)
      return "frame longer than " + std::to_string(SendBufferSize) + " bytes";
  } else {
    // ":" + body + LRC + CR LF must fit one write (16-bit length)
    const std::size_t frameChars = body.size() + (raw ? 0 : 5);
    if (frameChars > 0xFFFF)
      return "frame longer than 65535 characters";
  }
  return {};
}

std::string AsciiFrameText(const std::string &body) { return ":" + body + ComputeLRC(body); }

std::vector<std::uint8_t> HexPairsToBytes(const std::string &text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    // anything but two hex digits raises StrToInt's conversion error
    const int value = HexByteAt(text, i);
    bytes.push_back(static_cast<std::uint8_t>(value >= 0 ? value : StrToInt("$" + text.substr(i, 2))));
  }
  return bytes;
}

RtuFrame BuildRtuFrame(const std::string &body, bool raw) {
  RtuFrame frame;
  frame.bytes = HexPairsToBytes(body);
  frame.text = body.substr(0, frame.bytes.size() * 2);
  if (!raw) {
    const std::string crc = ComputeCRC16(frame.bytes, frame.bytes.size());
    frame.text += crc;
    frame.bytes.push_back(HexToByte(crc.substr(0, 2)));
    frame.bytes.push_back(HexToByte(crc.substr(2, 2)));
  }
  return frame;
}
