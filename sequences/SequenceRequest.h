#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The request texts of the user's define sequence and the reading of their
// replies. No window involved: the runner hands in the cell texts.

// Grid columns of the command list.
namespace CommandColumn {
constexpr int Select = 0;
constexpr int Function = 1;
constexpr int Data = 2;
constexpr int Command = 3;
constexpr int Reply = 4;
constexpr int Note = 5;
constexpr int Count = 6;
} // namespace CommandColumn

// The part of a Function cell that counts: its last three characters (the
// whole text if shorter). "F105" -> "105".
std::string FunctionShortCode(const std::string &functionCell);

// The register of a Function cell: "P" codes map to 11xx, every other code
// to "0" + group character + the two-digit number in hex (F105 -> 0105,
// 230 -> 021E, A01 -> 0A01, P12 -> 110C). No value when the last two
// characters are not decimal digits or the group character is not a hex
// digit, since either would put a malformed register on the line.
std::optional<std::string> FunctionRegister(const std::string &functionCell);

// What one Function mode row asks for.
struct FunctionRequest {
  enum class Outcome {
    Send,    // body holds the request text
    Nothing, // a Write row without data: the row is passed over
    Refused  // message says why; nothing may be sent
  };
  Outcome outcome = Outcome::Nothing;
  std::string body;
  // Write: the Data cell brought to the code's decimals ("1.5" -> "1.50"),
  // to be written back into the cell. Empty for reads and refusals.
  std::optional<std::string> dataCell;
  std::string message;
};

// Builds the request of a Function mode row. address is the drive address as
// two hex digits; decimals those of the code (0 when another drive series is
// selected); separator the user's decimal separator. Write values are cut,
// not rounded, to the code's decimals and must fit a register (0..65535).
FunctionRequest BuildFunctionModeRequest(const std::string &address, const std::string &functionCell,
                                         bool write, const std::string &dataCell, int decimals,
                                         const std::string &separator);

// The text shown in the Reply cell for an accepted reply. Function 03 shows
// the first register read, function 06 the value echoed, both scaled by the
// decimals of the register the request named (characters 5 to 8 of the
// request text; decimalsOf gives them, and is not asked for a register that
// is not hex). Any other function, or a reply too short for its function,
// shows the reply as logged (rawReplyText).
std::string SequenceReplyText(const std::uint8_t *replyBytes, std::size_t replyLength,
                              const std::string &lastSentFrame, const std::string &rawReplyText,
                              const std::function<int(std::uint16_t)> &decimalsOf,
                              const std::string &separator);

// Where the search for the next step stands: the grid row it starts at
// (from 1) and the passes over the list completed.
struct SequencePosition {
  int row = 1;
  int round = 0;
};

// Moves position to the next selected row, from position.row on. Passing the
// last row wraps to row 1 and completes a pass; when the passes reach
// repeatTimes (or at every wrap when repeatTimes is 0) the search gives up
// and returns false. A list without any selected row gives up at once with
// the passes counted as a full search would count them, however large
// repeatTimes is.
bool FindNextSelectedRow(SequencePosition &position, int rowCount, int repeatTimes,
                         const std::function<bool(int row)> &isSelected);

// The number in the Repeat Times field: decimal digits only, fitting an int.
std::optional<int> ParseRepeatTimes(const std::string &text);
