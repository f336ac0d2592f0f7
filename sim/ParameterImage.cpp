#include "sim/ParameterImage.h"

#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "protocol/ConvertError.h"
#include "protocol/HexText.h"

#include <cctype>
#include <cmath>

std::optional<std::uint16_t> RegisterOfCode(const std::string &code) {
  if (code.size() != 4 || code[0] != 'F')
    return std::nullopt;
  char group = code[1];
  bool groupOk = (group >= '0' && group <= '9') || (group >= 'A' && group <= 'D');
  if (!groupOk || !std::isdigit(static_cast<unsigned char>(code[2])) ||
      !std::isdigit(static_cast<unsigned char>(code[3])))
    return std::nullopt;
  return static_cast<std::uint16_t>(HexToInt(ParameterRegister(code.substr(1))));
}

std::optional<std::int32_t> RawValueOf(const std::string &text, int decimals) {
  try {
    double value = DecimalScaling::ParseDecimal(text, ".");
    double raw = std::round(value * std::pow(10.0, decimals));
    if (std::fabs(raw) > 2147483647.0)
      return std::nullopt;
    return static_cast<std::int32_t>(raw);
  } catch (const EConvertError &) {
    return std::nullopt;
  }
}

ParameterImage BuildParameterImage(const std::vector<ParameterDefinition> &definitions) {
  ParameterImage image;
  for (const ParameterDefinition &d : definitions) {
    std::optional<std::uint16_t> reg = RegisterOfCode(d.code);
    if (!reg)
      continue;
    ParameterCell cell;
    cell.decimals = d.decimals;
    if (!d.named || d.reserved) {
      // Served, but never read or written: a read answers FFFF.
      cell.readable = false;
      cell.writeable = false;
      image[*reg] = cell;
      continue;
    }
    std::optional<std::int32_t> min = RawValueOf(d.min, d.decimals);
    std::optional<std::int32_t> max = RawValueOf(d.max, d.decimals);
    std::optional<std::int32_t> def = RawValueOf(d.def, d.decimals);
    cell.writeable = min && max && *min <= *max;
    cell.min = min.value_or(0);
    cell.max = max.value_or(0);
    cell.value = static_cast<std::uint16_t>(def.value_or(0));
    image[*reg] = cell;
  }
  return image;
}
