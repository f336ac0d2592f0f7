#include "sequences/SequenceRequest.h"

#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "protocol/ConvertError.h"
#include "protocol/HexText.h"

#include <cctype>

namespace {

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexText(const std::string &text) {
  for (char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      return false;
  return !text.empty();
}

} // namespace

std::string FunctionShortCode(const std::string &functionCell) { return RightChars(functionCell, 3); }

std::optional<std::string> FunctionRegister(const std::string &functionCell) {
  const std::string code = FunctionShortCode(functionCell);
  const std::string number = RightChars(code, 2);
  if (number.size() != 2 || !IsDecimalDigit(number[0]) || !IsDecimalDigit(number[1]))
    return std::nullopt;
  if (code[0] == 'P')
    return "11" + ByteToHex(static_cast<std::uint8_t>(StrToInt(number)));
  const char group = static_cast<char>(std::toupper(static_cast<unsigned char>(code[0])));
  if (!std::isxdigit(static_cast<unsigned char>(group)))
    return std::nullopt;
  return ParameterRegister(std::string(1, group) + code.substr(1));
}

FunctionRequest BuildFunctionModeRequest(const std::string &address, const std::string &functionCell,
                                         bool write, const std::string &dataCell, int decimals,
                                         const std::string &separator) {
  FunctionRequest request;
  const std::optional<std::string> registerText = FunctionRegister(functionCell);
  if (!registerText) {
    request.outcome = FunctionRequest::Outcome::Refused;
    request.message = "Function code '" + functionCell + "' is not valid! Please check!";
    return request;
  }
  if (!write) {
    request.outcome = FunctionRequest::Outcome::Send;
    request.body = address + "03" + *registerText + "0001";
    return request;
  }

  const std::string normalized = DecimalScaling::NormalizeDecimals(dataCell, decimals, separator);
  if (normalized.empty()) {
    request.outcome = FunctionRequest::Outcome::Nothing;
    request.dataCell = normalized;
    return request;
  }
  std::optional<std::uint16_t> value;
  try {
    value = DecimalScaling::ToRegisterValue(normalized, decimals, separator);
  } catch (const EConvertError &) {
    request.outcome = FunctionRequest::Outcome::Refused;
    request.message = "Data '" + dataCell + "' is not a valid number! Please check!";
    return request;
  }
  if (!value) {
    request.outcome = FunctionRequest::Outcome::Refused;
    request.message = "Data '" + dataCell + "' is too large to write! Please check!";
    return request;
  }
  request.outcome = FunctionRequest::Outcome::Send;
  request.dataCell = normalized;
  request.body = address + "06" + *registerText + DecimalScaling::RegisterHex(*value);
  return request;
}

std::string SequenceReplyText(const std::uint8_t *replyBytes, std::size_t replyLength,
                              const std::string &lastSentFrame, const std::string &rawReplyText,
                              const std::function<int(std::uint16_t)> &decimalsOf,
                              const std::string &separator) {
  if (replyLength < 2)
    return rawReplyText;
  unsigned value;
  if (replyBytes[1] == 0x03 && replyLength >= 5)
    value = replyBytes[3] * 256u + replyBytes[4];
  else if (replyBytes[1] == 0x06 && replyLength >= 6)
    value = replyBytes[4] * 256u + replyBytes[5];
  else
    return rawReplyText;

  int decimals = 0;
  const std::string registerText = lastSentFrame.size() >= 8 ? lastSentFrame.substr(4, 4) : std::string();
  if (IsHexText(registerText))
    decimals = decimalsOf(static_cast<std::uint16_t>(HexToInt(registerText)));
  return DecimalScaling::FormatRegisterValue(value, decimals, separator);
}

bool FindNextSelectedRow(SequencePosition &position, int rowCount, int repeatTimes,
                         const std::function<bool(int row)> &isSelected) {
  bool anySelected = false;
  for (int row = 1; row < rowCount && !anySelected; ++row)
    anySelected = isSelected(row);
  if (!anySelected) {
    // Every pass would wrap without a request until the passes run out.
    position.row = 1;
    position.round = repeatTimes > position.round ? repeatTimes : position.round + 1;
    return false;
  }
  while (position.row < 1 || position.row >= rowCount || !isSelected(position.row)) {
    ++position.row;
    if (position.row >= rowCount) {
      position.row = 1;
      ++position.round;
      if (position.round >= repeatTimes)
        return false;
    }
  }
  return true;
}

std::optional<int> ParseRepeatTimes(const std::string &text) {
  if (text.empty())
    return std::nullopt;
  for (char c : text)
    if (!IsDecimalDigit(c))
      return std::nullopt;
  int value = 0;
  if (!TryStrToInt(text, value))
    return std::nullopt;
  return value;
}
