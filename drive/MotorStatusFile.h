#pragma once

#include <string>
#include <vector>

// The motor status table as a text file: one line per table row, each cell
// preceded by two blanks, every line ended by CR LF.
std::string MotorStatusFileText(const std::vector<std::vector<std::string>> &rows);
