#pragma once

#include "drive/FieldCheck.h"

#include <string>

// Checks of the hex fields of the user's single command. A good field yields
// its text left-padded with "0" to four hex digits.
namespace UserCommandChecks {

// The register address: empty gives "Invalid input! ", five digits or more
// "Error input! Please input hex data range:0000-FFFF!".
FieldCheck CheckRegister(const std::string &text, std::string &padded);

// The count (read) or value (write): empty gives "Invalid input! ", five
// digits or more "Invalid input! Valid range:0000-FFFF!".
FieldCheck CheckCountOrValue(const std::string &text, std::string &padded);

// "A" gives "000A"; four characters stay as they are.
std::string PadToFour(const std::string &text);

} // namespace UserCommandChecks
