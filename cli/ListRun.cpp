// run: a command list (usercmd.dbf or a workbook in its layout) run as the
// sequence runner runs it: the selected rows in order, Repeat Times passes,
// the pause between steps, and the end at an error or a time-out when asked.
#include "cli/CliContext.h"
#include "cli/CliError.h"
#include "cli/ListWriteCheck.h"
#include "drive/DriveAddress.h"
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "protocol/Frames.h"
#include "sequences/SequenceRequest.h"
#include "sequences/WorkbookImport.h"
#include "settings/SettingsRecords.h"
#include "settings/TableStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cctype>
#include <map>

namespace {
using namespace CliCommands;

constexpr int ListRows = CommandGridRowLimit; // as many rows as an import takes

// The list's grid: row 0 the captions, then one row per command.
TextTable ReadCommandTable(const QString &path) {
  const QFileInfo info(path);
  if (!info.isFile())
    throw CliError::BadInput(path + ": no such file");
  if (info.suffix().compare("dbf", Qt::CaseInsensitive) != 0) {
    WorkbookRefusal refusal;
    const std::optional<TextTable> sheet = ReadWorkbook(path, ListRows, CommandColumn::Count, ".", &refusal);
    if (!sheet && refusal.damaged)
      throw CliError::BadInput(path + " is damaged: the .xls reader failed on it (" + refusal.readerEnd +
                               "); nothing was imported");
    if (!sheet)
      throw CliError::BadInput(path + " is not a readable workbook (.xlsx or .xls)");
    return *sheet;
  }
  // The store reads the command list by its own file name.
  QTemporaryDir copy;
  const QString listFile = copy.filePath("usercmd.dbf");
  if (!copy.isValid() || !QFile::copy(path, listFile))
    throw CliError::BadInput("cannot copy " + path + " to read it");
  QStringList problems;
  std::vector<TCommandRow> rows;
  try {
    TTableConnection connection;
    connection.SetConnectionString(TTableConnection::ConnectionTextFor(copy.path()));
    connection.Open();
    TTableQuery query(&connection);
    rows = ReadCommandList(query, problems);
  } catch (const std::exception &e) {
    throw CliError::BadInput(path + " cannot be read as a command list: " + QString::fromUtf8(e.what()));
  }
  if (!problems.isEmpty())
    throw CliError::BadInput(path + ": " + problems.join("; "));
  TextTable table;
  for (const TCommandRow &row : rows) {
    while (table.size() <= row.row)
      table << QStringList(CommandColumn::Count, QString());
    for (int c = 0; c < CommandColumn::Count; ++c)
      table[row.row][c] = row.cells[static_cast<std::size_t>(c)];
  }
  return table;
}

struct Step {
  bool send = false; // false: a Write row without data, passed over
  std::string body;
};

int OptionNumber(const CliContext &context, const QString &option, int fallback) {
  if (!context.args.Has(option))
    return fallback;
  const std::optional<int> value = ParseRepeatTimes(context.args.Value(option).toStdString());
  if (!value)
    throw CliError::BadInput("--" + option + " must be a whole number (0 or more)");
  return *value;
}
} // namespace

namespace CliCommands {

int Run(CliContext &context) {
  context.RequireWords(1, "a command list (usercmd.dbf, .xlsx or .xls)");
  const QString path = context.args.words.first();
  const int repeat = OptionNumber(context, "repeat", 1);
  const int interval = OptionNumber(context, "interval", context.stored.timeIntervalMs);
  const QString function = context.args.Value("function");
  if (context.args.Has("function") && function != "read" && function != "write")
    throw CliError::BadInput("--function must be read or write");
  const bool functionMode = context.args.Has("function");
  bool stopOnError = context.stored.errorOccur;
  bool stopOnTimeout = context.stored.timeOut;
  if (context.args.Has("stop-on")) {
    stopOnError = stopOnTimeout = false;
    for (const QString &condition : context.args.Value("stop-on").split(',')) {
      if (condition == "error")
        stopOnError = true;
      else if (condition == "timeout")
        stopOnTimeout = true;
      else if (condition != "none")
        throw CliError::BadInput("--stop-on takes error, timeout or none, not \"" + condition + "\"");
    }
  }
  const TextTable table = ReadCommandTable(path);
  const int rowCount = static_cast<int>(table.size());
  const auto cell = [&table](int row, int column) { return table.value(row).value(column); };
  const auto selected = [&cell](int row) { return cell(row, CommandColumn::Select) == QLatin1String("Yes"); };

  // Each selected row's request is made and checked before anything is sent.
  std::optional<ParameterFile::Records> parameters;
  const auto parameterTable = [&]() -> const ParameterFile::Records & {
    if (!parameters)
      parameters = ParameterFile::Load(context.tablePath);
    return *parameters;
  };
  std::map<int, Step> steps;
  for (int row = 1; row < rowCount; ++row) {
    if (!selected(row))
      continue;
    const QString command = cell(row, functionMode ? CommandColumn::Function : CommandColumn::Command);
    const QString where = QStringLiteral("%1 row %2: ").arg(path).arg(row);
    if (command.isEmpty())
      throw CliError::BadInput(where + "Selected checkbox is empty! Please input data!");
    for (QChar c : command)
      if (c.unicode() > 128)
        throw CliError::BadInput(where + "Invalid input! Please check!");
    if (!functionMode) {
      const std::string body = command.toStdString();
      const bool hex = std::all_of(body.begin(), body.end(), [](char c) { return std::isxdigit(c); });
      const std::string refusal =
          BodyRefusal(body, context.line.rtu, !context.stored.addChecksum && !context.line.tcp);
      if (!hex || !refusal.empty())
        throw CliError::BadInput(where + "\"" + command + "\" is no request: " +
                                 (hex ? QString::fromStdString(refusal) : QStringLiteral("not hex digits")));
      ListWriteCheck::CommandRequest(parameterTable, body, where);
      steps[row] = {true, body};
      continue;
    }
    const std::string functionCell = command.toStdString();
    QString data = cell(row, CommandColumn::Data);
    if (function == "write" && !data.trimmed().isEmpty())
      data = ListWriteCheck::FunctionData(parameterTable(), command, data, where, context.tableName);
    const FunctionRequest request =
        BuildFunctionModeRequest(DriveAddress::ToHex(context.address), functionCell, function == "write",
                                 data.toStdString(), DecimalPlaces(FunctionShortCode(functionCell)), ".");
    if (request.outcome == FunctionRequest::Outcome::Refused)
      throw CliError::BadInput(where + QString::fromStdString(request.message));
    steps[row] = {request.outcome == FunctionRequest::Outcome::Send, request.body};
  }
  if (steps.empty()) {
    if (!context.quiet)
      Note(path + ": no row is selected");
    return 0;
  }

  int status = 0;
  SequencePosition position{1, 0};
  QElapsedTimer sinceStep;
  bool first = true;
  while (repeat == 0 || position.round < repeat) {
    if (!FindNextSelectedRow(position, rowCount, repeat, selected))
      continue; // a pass ended; the next one begins unless the passes are done
    if (!first)
      WaitUntil(sinceStep, interval);
    first = false;
    sinceStep.start();
    const int row = position.row;
    const Step &step = steps.at(row);
    if (++position.row >= rowCount) {
      position.row = 1;
      ++position.round;
    }
    if (!step.send)
      continue;

    const ExchangeOutcome outcome = context.Link().ExchangeStep(step.body, context.stored.addChecksum);
    QString reply;
    QString result;
    switch (outcome.kind) {
    case ExchangeOutcome::Kind::Accepted:
      reply = QString::fromStdString(SequenceReplyText(
          outcome.bytes.data(), outcome.bytes.size(), step.body, outcome.replyText.toStdString(),
          [](std::uint16_t registerAddress) { return DecimalScaling::RegisterDecimals(registerAddress); },
          "."));
      result = "accepted";
      break;
    case ExchangeOutcome::Kind::Broadcast:
      result = "broadcast";
      break;
    case ExchangeOutcome::Kind::Missing:
      reply = OutcomeText(context, outcome);
      result = "timeout";
      break;
    case ExchangeOutcome::Kind::Rejected:
    case ExchangeOutcome::Kind::Refused:
      reply = outcome.replyText;
      result = "error";
      break;
    }
    context.output.Write({{"row", QString::number(row), {}},
                          {"request", QString::fromStdString(step.body), {}},
                          {"reply", reply, {}},
                          {"result", result, {}}});
    const bool timedOut = outcome.kind == ExchangeOutcome::Kind::Missing;
    const bool error =
        outcome.kind == ExchangeOutcome::Kind::Rejected || outcome.kind == ExchangeOutcome::Kind::Refused;
    if (timedOut || error)
      status = 1;
    if ((timedOut && stopOnTimeout) || (error && stopOnError))
      break;
  }
  return status;
}

} // namespace CliCommands
