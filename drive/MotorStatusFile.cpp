#include "drive/MotorStatusFile.h"

std::string MotorStatusFileText(const std::vector<std::vector<std::string>> &rows) {
  std::string text;
  for (const auto &row : rows) {
    for (const auto &cell : row)
      text += "  " + cell;
    text += "\r\n";
  }
  return text;
}
