#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The two request envelopes (Modbus ASCII and Modbus RTU) and the time stamp
// of the history lines. A request body is hex text: address, function code,
// data, two digits per byte.

// Room of the send buffer; an RTU frame, CRC included, must fit it.
constexpr std::size_t SendBufferSize = 101;

// The local date and time to the millisecond.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

LocalTime CurrentLocalTime();

// "[2026-12-06 16:09:04:071]"
std::string FormatTimeStamp(const LocalTime &time);

// Why a body must not go out, or an empty text when it may. A body of odd
// length would lose its last digit (RTU) or shift every byte of the frame for
// the drive (ASCII); an RTU frame longer than the send buffer cannot be built.
// Raw bodies (sequence steps sent without checksum) obey the same rules.
std::string BodyRefusal(const std::string &body, bool rtu, bool raw);

// The ASCII frame as logged: ":" + body + LRC of the body (no CR LF).
std::string AsciiFrameText(const std::string &body);

// Converts each pair of characters as the hex number "$" + pair; a pair that
// is not two hex digits raises EConvertError ("'$xx' is not a valid integer
// value"). A last single character is ignored.
std::vector<std::uint8_t> HexPairsToBytes(const std::string &text);

// An RTU frame: the hex text that is logged and the bytes that go out.
struct RtuFrame {
  std::string text;
  std::vector<std::uint8_t> bytes;
};

// The body's bytes followed by its CRC-16 (low byte first), or the body's
// bytes alone when raw. Raises EConvertError like HexPairsToBytes.
RtuFrame BuildRtuFrame(const std::string &body, bool raw);
