// The user's define sequence: RUN and STOP, the step the send timer calls
// and the replies written into the command list.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "protocol/ConvertError.h"
#include "protocol/HexText.h"
#include "sequences/SequenceRequest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

namespace {

constexpr int HighestDriveAddress = 247;

// Controls that would disturb a run; the grid itself is one of them.
void EnableRunControls(TForm1 &form, bool enabled) {
  for (QWidget *control :
       std::initializer_list<QWidget *>{form.URepeatTimes, form.UErrorCheck, form.UTimeoutCheck,
                                        form.UAddChecksum, form.UProtocol, form.UdefRun, form.StringGrid1})
    control->setEnabled(enabled);
}

} // namespace

void TForm1::UdefRunClick() {
  if (!SequenceShown()) {
    UStartClick();
    return;
  }
  EnableRunControls(*this, false);
  State.SequenceRunning = true;
  State.SequenceRound = 0;
  State.SequenceRow = 1;
  State.WaitTicks = 0;
}

void TForm1::UdefStopClick() {
  if (!SequenceShown()) {
    UDecStopClick();
    return;
  }
  if (State.WaitingReply) {
    // The tick comes back here once the reply or its time-out is handled.
    State.StopRequested = true;
    return;
  }
  EnableRunControls(*this, true);
  State.SequenceRunning = false;
  State.SequenceRound = 0;
  State.SequenceRow = 0;
  State.StopRequested = false;
  State.SequenceAwaitingReply = false;
}

void TForm1::SequenceStep() {
  CommState &s = State;
  if (s.IntervalTicks * s.TickMs < TimeIntervalMs)
    return;
  s.IntervalTicks = 0;

  // The run is stopped before any box is shown: ticks go on while it is open.
  const auto stopWith = [this](const QString &message) {
    UdefStopClick();
    Dialogs::ShowMessage(message);
  };

  const std::optional<int> repeatTimes = ParseRepeatTimes(URepeatTimes->text().toStdString());
  if (!repeatTimes) {
    stopWith(QStringLiteral("Repeat Times must be a whole number (0 :always do)! Please check!"));
    return;
  }
  if (s.SequenceRound >= *repeatTimes && *repeatTimes != 0) {
    UdefStopClick();
    return;
  }

  SequencePosition position{s.SequenceRow, s.SequenceRound};
  const bool found = FindNextSelectedRow(position, StringGrid1->rowCount(), *repeatTimes, [this](int row) {
    return GridText(row, CommandColumn::Select) == QLatin1String("Yes");
  });
  s.SequenceRow = position.row;
  s.SequenceRound = position.round;
  if (!found)
    return;

  const int row = s.SequenceRow;
  const bool commandMode = UMODE->ItemIndex() == 1;
  const int column = commandMode ? CommandColumn::Command : CommandColumn::Function;
  const QString command = GridText(row, column);
  SelectGridCell(row, column); // the selection follows the run
  if (command.isEmpty()) {
    stopWith(QStringLiteral("Selected checkbox is empty! Please input data!"));
    return;
  }
  for (QChar c : command) {
    if (c.unicode() > 128) {
      stopWith(QStringLiteral("Invalid input! Please check!"));
      return;
    }
  }

  s.SequenceAwaitingReply = true; // read by SendFrame for the framing
  try {
    if (commandMode) {
      SendFrame(command.toStdString());
    } else if (!BuildFunctionRequest(row)) {
      return;
    }
  } catch (const EConvertError &) {
    // A drive address that is no number: the run ends instead of failing
    // again at every interval; the error box shows the text.
    UdefStopClick();
    throw;
  }

  ++s.SequenceRow;
  if (s.SequenceRow >= StringGrid1->rowCount()) {
    s.SequenceRow = 1;
    ++s.SequenceRound;
  }
}

bool TForm1::BuildFunctionRequest(int row) {
  const int address = StrToInt(MachineIDText().toStdString());
  if (address < 0 || address > HighestDriveAddress) {
    UdefStopClick();
    Dialogs::ShowMessage(QStringLiteral("Invalid input! Valid range:0-247!"));
    return false;
  }
  LoadDecimalSeparator();
  const std::string functionCell = GridText(row, CommandColumn::Function).toStdString();
  const int decimals = IsRm40Selected() ? DecimalPlaces(FunctionShortCode(functionCell)) : 0;
  const bool write = RadioGroup1->ItemIndex() == 1;
  const FunctionRequest request = BuildFunctionModeRequest(
      ByteToHex(static_cast<std::uint8_t>(address)), functionCell, write,
      GridText(row, CommandColumn::Data).toStdString(), decimals, LocaleDecimalSeparator);
  if (request.dataCell)
    SetGridText(row, CommandColumn::Data, QString::fromStdString(*request.dataCell));
  switch (request.outcome) {
  case FunctionRequest::Outcome::Send:
    SendFrame(request.body);
    return true;
  case FunctionRequest::Outcome::Nothing:
    return true;
  case FunctionRequest::Outcome::Refused:
    break;
  }
  UdefStopClick();
  Dialogs::ShowMessage(QString::fromStdString(request.message));
  return false;
}

int TForm1::SequenceStepRow() const {
  const int rows = StringGrid1->rowCount();
  const int next = State.SequenceRow;
  if (next < 1 || next >= rows || rows < 2)
    return -1;
  return next == 1 ? rows - 1 : next - 1;
}

void TForm1::WriteSequenceReply(const QString &text) {
  const int row = SequenceStepRow();
  if (row >= 1)
    SetGridText(row, CommandColumn::Reply, text);
}

void TForm1::StoreSequenceReply() {
  CommState &s = State;
  LoadDecimalSeparator();
  const std::size_t length = std::min(s.ReplyBody.size() / 2, CommState::ReplyBytesSize);
  const std::string text = SequenceReplyText(
      s.ReplyBytes.data(), length, s.LastSentFrame, s.ReplyText,
      [this](std::uint16_t registerAddress) {
        return IsRm40Selected() ? DecimalScaling::RegisterDecimals(registerAddress) : 0;
      },
      LocaleDecimalSeparator);
  WriteSequenceReply(QString::fromStdString(text));
  s.SequenceAwaitingReply = false;
}
