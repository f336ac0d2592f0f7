#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The arithmetic behind the "Check Sum" window, free of any window.

// The input box takes at most this many hex digits (60 bytes).
constexpr std::size_t MaxCheckSumDigits = 120;

// True for the characters the input box accepts when typed: backspace, the
// digits and the upper-case hex letters.
bool IsCheckSumKey(char c);

// Each pair of characters from the start becomes one byte; a trailing odd
// digit is ignored. A pair that is not hex (only possible by pasting) raises
// the conversion error for "$" followed by the pair, as the run-time's hex
// conversion does.
std::vector<std::uint8_t> CheckSumBytes(const std::string &text);
