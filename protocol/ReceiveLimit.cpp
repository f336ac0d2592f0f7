#include "protocol/ReceiveLimit.h"

namespace ReceiveLimit {

std::size_t Kept(std::size_t held, std::size_t incoming) {
  if (held >= WindowBytes)
    return 0;
  const std::size_t room = WindowBytes - held;
  return incoming < room ? incoming : room;
}

std::string CutNote(std::size_t dropped) {
  // digits grouped by thousands, so a large count reads at a glance
  const std::string digits = std::to_string(dropped);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      grouped += ',';
    grouped += digits[i];
  }
  return " ... " + grouped + (dropped == 1 ? " more byte" : " more bytes");
}

} // namespace ReceiveLimit
