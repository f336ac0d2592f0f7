#pragma once

#include <cstddef>

// The input rules of the "Check Sum" window, free of any window.

// The input box takes at most this many hex digits (60 bytes).
constexpr std::size_t MaxCheckSumDigits = 120;

// True for the characters the input box accepts when typed: backspace, the
// digits and the upper-case hex letters.
bool IsCheckSumKey(char c);
