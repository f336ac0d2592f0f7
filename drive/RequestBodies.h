#pragma once

#include <string>

// The request texts (hex digits, address first, without framing) of the
// drive's control register, status block and the user's single command.
namespace RequestBodies {

// Write the command code (four hex digits) into the control register 2000.
std::string Control(int address, const std::string &commandCode);

// Read the six registers of the status block from 1000.
std::string Status(int address);

// The user's single command: read ("03") or write ("06") at a register of
// four hex digits, with a count or value of four hex digits.
std::string UserCommand(int address, bool read, const std::string &registerAddress,
                        const std::string &countOrValue);

} // namespace RequestBodies
