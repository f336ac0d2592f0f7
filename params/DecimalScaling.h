#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Function parameter values travel to and from the drive as 16-bit register
// integers; the user sees them as decimal texts with a fixed number of
// decimals per function code (0 to 3) and the locale's decimal separator.
// These routines turn one form into the other. None of them knows Qt.
namespace DecimalScaling {

// Largest value a parameter register holds.
constexpr std::uint32_t MaxRegisterValue = 0xFFFF;

// Brings an entered text to exactly `decimals` decimals. Extra decimals are
// cut off, never rounded; missing ones are filled with zeros; an empty
// integer part becomes "0". With 0 decimals the fraction is dropped.
// Examples with ".": 50 -> 50.00, 50.5 -> 50.50, 50.555 -> 50.55 (2 decimals);
// 7.9 -> 7 (0 decimals). An empty text stays empty.
std::string NormalizeDecimals(const std::string &text, int decimals, const std::string &separator);

// The register value of a text that NormalizeDecimals has brought to
// `decimals` decimals: the text times 10^decimals. Raises EConvertError when
// the text is not a plain unsigned decimal number (two separators, a sign,
// letters). Returns no value when the result does not fit in a register.
std::optional<std::uint16_t> ToRegisterValue(const std::string &normalized, int decimals,
                                             const std::string &separator);

// The register value as four upper-case hex digits (5000 -> "1388").
std::string RegisterHex(std::uint16_t value);

// The text of a register value with exactly `decimals` decimals
// (400 with 2 decimals -> "4.00", 7 with 0 -> "7").
std::string FormatRegisterValue(std::uint32_t value, int decimals, const std::string &separator);

// Decimals of the parameter behind a register address (high byte the group
// 0..13, low byte the number 0..99): 010D is F113 with 2 decimals, 0A03 is
// FA03 with 1. A register that names no function code has 0 decimals.
int RegisterDecimals(std::uint16_t registerAddress);

// Converts a decimal text written with `separator` (a range limit or an
// entered value) to a number for range checks. Leading and trailing blanks
// and a leading sign are accepted. Raises EConvertError for anything else.
double ParseDecimal(const std::string &text, const std::string &separator);

// Replaces every occurrence of `from` by `to` (the stored separator by the
// locale's one, "." of the range limits by the locale's one).
std::string ReplaceSeparator(const std::string &text, const std::string &from, const std::string &to);

// A stored value with whichever separator it was written ("." or ",")
// rewritten with `separator`.
std::string WithSeparator(const std::string &text, const std::string &separator);

} // namespace DecimalScaling
