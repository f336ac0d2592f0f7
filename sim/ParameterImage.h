#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The function parameters a simulated drive holds: one register per function
// code, holding the raw integer (displayed value × 10^decimals).

// A parameter as the shipped parameter list describes it.
struct ParameterDefinition {
  std::string code;      // "F113", "FA03"
  bool named = true;     // unnamed records stand for codes the drive does not serve
  bool reserved = false; // NAME "Reserved"
  std::string min;       // decimal texts with "."; "--" for a read-only parameter
  std::string max;
  std::string def;
  int decimals = 0;
};

struct ParameterCell {
  bool readable = true;  // false: a read answers FFFF
  bool writeable = true; // false: a write gets an illegal value exception
  std::int32_t min = 0;  // raw limits, inclusive
  std::int32_t max = 0;
  std::uint16_t value = 0;
  int decimals = 0;
  // 0 or more: a write above this is taken (and echoed) but the drive holds
  // this value, as drives do that limit a setting by another one.
  std::int32_t holdsAtMost = -1;
  // true: requests naming this register get no reply, as from a drive that
  // lost them on the line
  bool muted = false;
};

using ParameterImage = std::map<std::uint16_t, ParameterCell>;

// Register of a full function code ("F113" → 010D). Empty for a code of
// another form (no "F", a group other than 0-9 or A-D, a number that is not
// two digits).
std::optional<std::uint16_t> RegisterOfCode(const std::string &code);

// Raw value of a decimal text with "." ("50.5" with 2 decimals → 5050).
// Empty for a text that is not a number ("--", "").
std::optional<std::int32_t> RawValueOf(const std::string &text, int decimals);

ParameterImage BuildParameterImage(const std::vector<ParameterDefinition> &definitions);

// The list the drive series ships with.
std::vector<ParameterDefinition> ShippedParameterDefinitions();
