#include "params/ParameterCodes.h"

#include "protocol/ConvertError.h"
#include "protocol/HexText.h"

#include <cctype>

namespace {

struct DecimalRange {
  int first;
  int last;
  int decimals;
};

// Keys (short code as a number) whose values carry decimals; every other key
// has none.
constexpr DecimalRange DecimalRanges[] = {
    // one decimal
    {102, 102, 1},
    {110, 110, 1},
    {114, 117, 1},
    {120, 120, 1},
    {125, 126, 1},
    {215, 215, 1},
    {217, 217, 1},
    {241, 241, 1},
    {250, 251, 1},
    {253, 254, 1},
    {257, 257, 1},
    {272, 272, 1},
    {310, 310, 1},
    {404, 404, 1},
    {410, 410, 1},
    {416, 416, 1},
    {450, 450, 1},
    {519, 548, 1},
    {557, 572, 1},
    {610, 610, 1},
    {701, 701, 1},
    {712, 712, 1},
    {715, 715, 1},
    {718, 718, 1},
    {728, 730, 1},
    {755, 755, 1},
    {801, 801, 1},
    {803, 803, 1},
    {809, 809, 1},
    {905, 905, 1},
    {1003, 1005, 1},
    {1010, 1011, 1},
    {1020, 1022, 1},
    {1029, 1032, 1},
    {1058, 1058, 1},
    {1066, 1066, 1},
    {1201, 1202, 1},
    {1209, 1209, 1},
    {1216, 1217, 1},
    {1223, 1223, 1},
    {1225, 1225, 1},
    {1230, 1230, 1},
    {1235, 1235, 1},
    // two decimals
    {103, 103, 2},
    {105, 105, 2},
    {109, 109, 2},
    {111, 113, 2},
    {118, 118, 2},
    {124, 124, 2},
    {127, 130, 2},
    {133, 133, 2},
    {140, 140, 2},
    {142, 142, 2},
    {144, 144, 2},
    {146, 146, 2},
    {148, 148, 2},
    {150, 150, 2},
    {155, 155, 2},
    {157, 157, 2},
    {210, 211, 2},
    {240, 240, 2},
    {242, 243, 2},
    {248, 249, 2},
    {252, 252, 2},
    {260, 260, 2},
    {266, 267, 2},
    {275, 276, 2},
    {307, 308, 2},
    {312, 312, 2},
    {400, 403, 2},
    {405, 409, 2},
    {411, 415, 2},
    {417, 420, 2},
    {424, 425, 2},
    {428, 429, 2},
    {433, 434, 2},
    {440, 443, 2},
    {446, 446, 2},
    {449, 449, 2},
    {451, 451, 2},
    {462, 473, 2},
    {504, 518, 2},
    {601, 601, 2},
    {604, 605, 2},
    {651, 652, 2},
    {711, 711, 2},
    {714, 714, 2},
    {738, 738, 2},
    {808, 808, 2},
    {810, 810, 2},
    {812, 821, 2},
    {1009, 1009, 2},
    {1019, 1019, 2},
    {1060, 1060, 2},
    // three decimals
    {134, 134, 3},
    {244, 244, 3},
    {258, 259, 3},
    {806, 807, 3},
    {1207, 1207, 3},
    {1215, 1215, 3},
    {1229, 1229, 3},
    {1234, 1234, 3},
};

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The lookup key of a short code, or -1 when the code gives no number.
int DecimalKey(const std::string &shortCode) {
  if (shortCode.size() != 3 || !IsDigit(shortCode[1]) || !IsDigit(shortCode[2]))
    return -1;
  const char group = static_cast<char>(std::toupper(static_cast<unsigned char>(shortCode[0])));
  int groupNumber;
  if (IsDigit(group))
    groupNumber = group - '0';
  else if (group >= 'A' && group <= 'D')
    groupNumber = 10 + (group - 'A');
  else
    return -1;
  return groupNumber * 100 + (shortCode[1] - '0') * 10 + (shortCode[2] - '0');
}

} // namespace

int DecimalPlaces(const std::string &shortCode) {
  const int key = DecimalKey(shortCode);
  if (key < 0)
    return 0;
  for (const DecimalRange &range : DecimalRanges)
    if (key >= range.first && key <= range.last)
      return range.decimals;
  return 0;
}

std::string ParameterRegister(const std::string &shortCode) {
  const std::string number = RightChars(shortCode, 2);
  if (number.size() != 2 || !IsDigit(number[0]) || !IsDigit(number[1]))
    throw EConvertError::NotAnInteger(number);
  const int low = StrToInt(number);
  return "0" + LeftChars(shortCode, 1) + ByteToHex(static_cast<std::uint8_t>(low));
}
