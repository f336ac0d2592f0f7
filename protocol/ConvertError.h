#pragma once

#include <stdexcept>
#include <string>

// The conversion error raised when a text is not a whole number. It ends the
// event handler that raised it; the application shows its message in the
// standard error box and runs on.
class EConvertError : public std::runtime_error {
public:
  explicit EConvertError(const std::string &message) : std::runtime_error(message) {}

  // "'<text>' is not a valid integer value"
  static EConvertError NotAnInteger(const std::string &text);
};

// Whole-number conversion with the run-time's rules: optional leading blanks,
// an optional sign, decimal digits, or hexadecimal digits after "$" or "0x".
// Anything else, an empty text, or a value outside 32 bits raises
// EConvertError::NotAnInteger(text).
int StrToInt(const std::string &text);

// Same conversion, returning false instead of raising.
bool TryStrToInt(const std::string &text, int &value);
