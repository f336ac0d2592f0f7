#pragma once

#include <cstdint>
#include <string>

// Function codes are "F" + a group character (0-9 or A-D) + two decimal
// digits. The three characters after the "F" ("113", "A03") are the code's
// short form; both routines below take that short form.

// Number of decimals (0 to 3) of the parameter's value in the RM40 series.
// The lookup key is the short code read as a decimal number with the group
// letters A..D turned into 10..13 (A03 -> 1003). A short code that does not
// give a number (other letters, wrong length) has 0 decimals.
int DecimalPlaces(const std::string &shortCode);

// Register of a function code as four hex digits: "0", the group character,
// and the two-digit number as two upper-case hex digits (113 -> "010D",
// A03 -> "0A03"). Raises EConvertError when the last two characters are not
// a number.
std::string ParameterRegister(const std::string &shortCode);

// The value a drive answers for a parameter it will not tell (and for every
// parameter while it is in fault status).
constexpr std::uint16_t NotAllowedValue = 0xFFFF;
