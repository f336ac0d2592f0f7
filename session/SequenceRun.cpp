#include "session/SequenceRun.h"

#include "exchange/ExchangeEngine.h"
#include "log/HistoryText.h"
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "protocol/ConvertError.h"
#include "protocol/HexText.h"
#include "sequences/SequenceRequest.h"

#include <algorithm>

namespace {
constexpr int HighestDriveAddress = 247;
} // namespace

SequenceRun::SequenceRun(TExchangeEngine &engine, SequenceList &list, QObject *parent)
    : QObject(parent), engine_(engine), list_(list) {
  connect(&engine_, &TExchangeEngine::ExchangeEnded, this, &SequenceRun::ExchangeEnded);
  connect(&engine_, &TExchangeEngine::SequenceReply, this,
          [this] { engine_.SetSequenceAwaitingReply(false); });
}

bool SequenceRun::Running() const { return engine_.State.SequenceRunning; }

void SequenceRun::Start() {
  emit RunningChanged(true);
  engine_.SetSequenceRunning(true);
  round_ = 0;
  row_ = 1;
  engine_.RestartReplyWait();
}

void SequenceRun::Stop() {
  if (engine_.State.WaitingReply) {
    // The tick comes back here once the reply or its time-out is handled.
    engine_.SetSequenceStopRequested(true);
    return;
  }
  emit RunningChanged(false);
  engine_.SetSequenceRunning(false);
  round_ = 0;
  row_ = 0;
  engine_.SetSequenceStopRequested(false);
  engine_.SetSequenceAwaitingReply(false);
}

void SequenceRun::StopWith(const QString &message) {
  // The run is stopped before any box is shown: ticks go on while it is open.
  Stop();
  emit Refused(message);
}

void SequenceRun::Step() {
  const CommState &s = engine_.State;
  if (s.IntervalTicks * s.TickMs < list_.StepPauseMs())
    return;
  engine_.RestartInterval();

  const std::optional<int> repeatTimes = ParseRepeatTimes(list_.RepeatTimes().toStdString());
  if (!repeatTimes) {
    StopWith(QStringLiteral("Repeat Times must be a whole number (0 :always do)! Please check!"));
    return;
  }
  if (round_ >= *repeatTimes && *repeatTimes != 0) {
    Stop();
    return;
  }

  SequencePosition position{row_, round_};
  const bool found = FindNextSelectedRow(position, list_.RowCount(), *repeatTimes, [this](int row) {
    return list_.Cell(row, CommandColumn::Select) == QLatin1String("Yes");
  });
  row_ = position.row;
  round_ = position.round;
  if (!found)
    return;

  const int row = row_;
  const bool commandMode = list_.CommandMode();
  const int column = commandMode ? CommandColumn::Command : CommandColumn::Function;
  const QString command = list_.Cell(row, column);
  list_.SelectCell(row, column);
  if (command.isEmpty()) {
    StopWith(QStringLiteral("Selected checkbox is empty! Please input data!"));
    return;
  }
  if (std::any_of(command.begin(), command.end(), [](QChar c) { return c.unicode() > 128; })) {
    StopWith(QStringLiteral("Invalid input! Please check!"));
    return;
  }

  engine_.SetSequenceAwaitingReply(true); // read by SendFrame for the framing
  try {
    if (commandMode) {
      engine_.SendFrame(command.toStdString());
    } else if (!SendFunctionRequest(row)) {
      return;
    }
  } catch (const EConvertError &) {
    // A drive address that is no number: the run ends instead of failing
    // again at every interval; the error box shows the text.
    Stop();
    throw;
  }

  ++row_;
  if (row_ >= list_.RowCount()) {
    row_ = 1;
    ++round_;
  }
}

bool SequenceRun::SendFunctionRequest(int row) {
  const int address = StrToInt(list_.DriveAddress().toStdString());
  if (address < 0 || address > HighestDriveAddress) {
    StopWith(QStringLiteral("Invalid input! Valid range:0-247!"));
    return false;
  }
  LoadDecimalSeparator();
  const std::string functionCell = list_.Cell(row, CommandColumn::Function).toStdString();
  const int decimals = list_.Rm40Selected() ? DecimalPlaces(FunctionShortCode(functionCell)) : 0;
  const FunctionRequest request = BuildFunctionModeRequest(
      ByteToHex(static_cast<std::uint8_t>(address)), functionCell, list_.WriteMode(),
      list_.Cell(row, CommandColumn::Data).toStdString(), decimals, LocaleDecimalSeparator);
  if (request.dataCell)
    list_.SetCell(row, CommandColumn::Data, QString::fromStdString(*request.dataCell));
  switch (request.outcome) {
  case FunctionRequest::Outcome::Send:
    engine_.SendFrame(request.body);
    return true;
  case FunctionRequest::Outcome::Nothing:
    return true;
  case FunctionRequest::Outcome::Refused:
    break;
  }
  StopWith(QString::fromStdString(request.message));
  return false;
}

int SequenceRun::StepRow() const {
  const int rows = list_.RowCount();
  const int next = row_;
  if (next < 1 || next >= rows || rows < 2)
    return -1;
  return next == 1 ? rows - 1 : next - 1;
}

void SequenceRun::ExchangeEnded(const ExchangeRecord &record) {
  using Outcome = ExchangeRecord::Outcome;
  if (!record.sequenceStep)
    return;
  // into the row the request was built from, not the next one to search
  const int row = StepRow();
  if (row < 1)
    return;
  switch (record.outcome) {
  case Outcome::Accepted: {
    LoadDecimalSeparator();
    const std::size_t length = std::min(record.replyBytes.size(), CommState::ReplyBytesSize);
    const bool rm40 = list_.Rm40Selected();
    const std::string text = SequenceReplyText(
        record.replyBytes.data(), length, record.requestBody, record.replyText.toStdString(),
        [rm40](std::uint16_t registerAddress) {
          return rm40 ? DecimalScaling::RegisterDecimals(registerAddress) : 0;
        },
        LocaleDecimalSeparator);
    list_.SetCell(row, CommandColumn::Reply, QString::fromStdString(text));
    break;
  }
  case Outcome::ErrorReply:
    list_.SetCell(row, CommandColumn::Reply, record.replyText);
    break;
  case Outcome::NoResponse:
    // the step's row shows that it got nothing, as it shows an error reply
    list_.SetCell(row, CommandColumn::Reply, HistoryText::NoResponseWords());
    break;
  default:
    break;
  }
}
