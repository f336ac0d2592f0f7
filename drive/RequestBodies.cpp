#include "drive/RequestBodies.h"

#include "drive/DriveAddress.h"

namespace RequestBodies {

std::string Control(int address, const std::string &commandCode) {
  return DriveAddress::ToHex(address) + "06" + "2000" + commandCode;
}

std::string Status(int address) { return DriveAddress::ToHex(address) + "03" + "1000" + "0006"; }

std::string UserCommand(int address, bool read, const std::string &registerAddress,
                        const std::string &countOrValue) {
  return DriveAddress::ToHex(address) + (read ? "03" : "06") + registerAddress + countOrValue;
}

} // namespace RequestBodies
