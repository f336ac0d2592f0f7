// read, write, backup, restore and compare: function parameters by code,
// in the table's decimals, with the table's range checks.
#include "cli/BackupTarget.h"
#include "cli/CliContext.h"
#include "cli/CliError.h"
#include "cli/ParameterFile.h"
#include "cli/TypedDecimal.h"
#include "params/ParameterCodes.h"
#include "params/RunProgress.h"
#include "params/WriteAllCheck.h"

#include <QElapsedTimer>
#include <cstdio>
#include <unistd.h>

namespace {
using namespace CliCommands;
using TableRecord = ParameterCompare::Record;

// A request that got nothing or a garbled reply is asked once more, as read
// all and write all ask a failed record again; a drive's refusal is final.
ExchangeOutcome ExchangeWithRetry(CliContext &context, const std::string &body) {
  ExchangeOutcome outcome = context.Link().Exchange(body);
  if (outcome.kind == ExchangeOutcome::Kind::Missing ||
      (outcome.kind == ExchangeOutcome::Kind::Rejected && !outcome.IsException())) {
    ++context.askedAgain;
    outcome = context.Link().Exchange(body);
  }
  return outcome;
}

// What else a run met on the line, for its last line: "; 3 asked again, 1
// late reply seen", or nothing on a clean line.
QString LineTrouble(CliContext &context) {
  QString said;
  if (const long long again = context.askedAgain + context.Link().AskedAgain(); again > 0)
    said += QStringLiteral("; %1 asked again").arg(again);
  if (const long long late = context.Link().LateReplies(); late > 0)
    said += QStringLiteral("; %1 late %2 seen").arg(late).arg(late == 1 ? "reply" : "replies");
  return said;
}

std::uint16_t RegisterOf(const ExchangeOutcome &outcome) {
  return static_cast<std::uint16_t>(outcome.bytes[3] << 8 | outcome.bytes[4]);
}

bool IsValueReply(const ExchangeOutcome &outcome) {
  return outcome.kind == ExchangeOutcome::Kind::Accepted && outcome.bytes.size() >= 5;
}

// A value of write or restore, checked and ready to send.
struct Planned {
  const TableRecord *record;
  ParameterFile::Prepared value;
};

const TableRecord &RequireCode(const ParameterFile::Records &records, const QString &code,
                               const QString &table) {
  const TableRecord *record = ParameterFile::Find(records, code);
  if (!record)
    throw CliError::BadInput("unknown code " + code + " (not in " + table + ")");
  return *record;
}

// Progress of backup and restore on a terminal only: a script's log gets
// no lines of carriage returns.
class Progress {
public:
  Progress(const CliContext &context, std::string verb, int total)
      : shown_(!context.quiet && ::isatty(STDERR_FILENO)), verb_(std::move(verb)), total_(total) {
    clock_.start();
  }
  void Show(int done) {
    if (!shown_ || (done < total_ && clock_.elapsed() - last_ < 150))
      return;
    last_ = clock_.elapsed();
    const std::string text = done >= total_ ? RunProgress::Finished(verb_, done, total_, last_)
                                            : RunProgress::Running(verb_, done, total_, last_);
    std::fprintf(stderr, "\r%s\033[K%s", text.c_str(), done >= total_ ? "\n" : "");
    std::fflush(stderr);
  }

private:
  bool shown_;
  std::string verb_;
  int total_;
  QElapsedTimer clock_;
  qint64 last_ = -1000;
};
} // namespace

namespace CliCommands {

int Read(CliContext &context) {
  context.RequireWords(1, "one or more codes (F113)");
  const ParameterFile::Records records = ParameterFile::Load(context.tablePath);
  std::vector<const TableRecord *> asked;
  for (const QString &code : context.args.words)
    asked.push_back(&RequireCode(records, code, context.tableName));
  int status = 0;
  for (const TableRecord *record : asked) {
    const ExchangeOutcome outcome =
        context.Link().Exchange(ParameterFile::ReadBody(context.address, record->code));
    if (!IsValueReply(outcome)) {
      Note(record->code + ": " + OutcomeText(context, outcome));
      status = 1;
    } else if (RegisterOf(outcome) == NotAllowedValue) {
      Note(record->code + ": This parameter is not allowed to read!");
      status = 1;
    } else {
      context.output.Write({{"code", record->code, {}},
                            {"name", record->name, {}},
                            {"value", ParameterFile::ValueText(record->code, RegisterOf(outcome)), {}}});
    }
  }
  return status;
}

int Write(CliContext &context) {
  context.RequireWords(1, "one or more CODE=VALUE (F113=45)");
  const ParameterFile::Records records = ParameterFile::Load(context.tablePath);
  std::vector<Planned> planned;
  // Every value is checked before the first is sent.
  for (const QString &word : context.args.words) {
    const qsizetype equals = word.indexOf('=');
    if (equals <= 0)
      throw CliError::BadInput("\"" + word + "\": write takes CODE=VALUE (F113=45)");
    const TableRecord &record = RequireCode(records, word.left(equals), context.tableName);
    const QString value = word.mid(equals + 1);
    planned.push_back({&record, ParameterFile::PrepareWrite(
                                    record, TypedDecimal(record.code + "=" + value + ": ", value))});
  }
  int status = 0;
  for (const Planned &p : planned) {
    const ExchangeOutcome outcome =
        context.Link().Exchange(ParameterFile::WriteBody(context.address, p.record->code, p.value.raw));
    const bool written = outcome.kind == ExchangeOutcome::Kind::Accepted;
    if (!written) {
      Note(p.record->code + ": " +
           (outcome.IsException() ? "the drive refused " + p.value.text + ", " + OutcomeText(context, outcome)
                                  : OutcomeText(context, outcome)));
      status = 1;
    }
    context.output.Write({{"code", p.record->code, {}},
                          {"value", p.value.text, {}},
                          {"result", written ? QStringLiteral("written") : QStringLiteral("failed"), {}}});
  }
  return status;
}

int Backup(CliContext &context) {
  const QString out = context.args.Value("out");
  if (out.isEmpty())
    throw CliError::BadInput("backup needs --out FILE.dbf");
  const QString target = BackupTarget(out);
  const ParameterFile::Records records = ParameterFile::Load(context.tablePath);
  const bool skipRefused = context.args.Has("skip-refused");
  QMap<QString, QString> values;
  int leftOut = 0;
  Progress progress(context, "Read", static_cast<int>(records.size()));
  int done = 0;
  for (const TableRecord &record : records) {
    progress.Show(done++);
    if (record.name == QLatin1String("Reserved"))
      continue; // never read: the drive answers FFFF
    const ExchangeOutcome outcome =
        ExchangeWithRetry(context, ParameterFile::ReadBody(context.address, record.code));
    if (outcome.IsException() && skipRefused) {
      // No value is kept for it: the copy's value would be another drive's.
      values.insert(record.code.toUpper(), QString());
      ++leftOut;
      context.output.Write({{"code", record.code, {}},
                            {"name", record.name, {}},
                            {"result", QStringLiteral("left out"), {}},
                            {"reason", "the drive refused it, " + OutcomeText(context, outcome), {}}});
      continue;
    }
    if (outcome.IsException())
      throw CliError::DriveFailed(record.code + ": the drive refused it, " + OutcomeText(context, outcome) +
                                  "; " + out + " not written (--skip-refused leaves such parameters out)");
    if (!IsValueReply(outcome))
      throw CliError::DriveFailed(record.code + ": " + OutcomeText(context, outcome) + "; " + out +
                                  " not written");
    if (RegisterOf(outcome) == NotAllowedValue)
      throw CliError::DriveFailed(record.code + ": Warning! Inverter is in fault status!; " + out +
                                  " not written");
    values.insert(record.code.toUpper(), ParameterFile::ValueText(record.code, RegisterOf(outcome)));
  }
  progress.Show(done);
  ParameterFile::SaveCopy(context.tablePath, target, out, values);
  if (!context.quiet)
    Note(QStringLiteral("%1 values read into %2").arg(values.size() - leftOut).arg(out) +
         (leftOut > 0 ? QStringLiteral("; %1 left out, refused by the drive (NOWDATA empty)").arg(leftOut)
                      : QString()) +
         LineTrouble(context));
  return 0;
}

int Restore(CliContext &context) {
  context.RequireWords(1, "the FILE.dbf to write from");
  const QString file = context.args.words.first();
  const ParameterFile::Records records = ParameterFile::Load(file);
  // The table in use says what may be written and within which range; the
  // file's own MIN and MAX may have been edited.
  const ParameterFile::Records table = ParameterFile::Load(context.tablePath);
  const bool verify = context.args.Has("verify");
  TWriteAllCheck check;
  if (verify)
    check.Begin();

  // Every value is checked before the first is sent.
  std::vector<Planned> planned;
  for (const TableRecord &stored : records) {
    const TableRecord *record = ParameterFile::Find(table, stored.code);
    if (!record)
      throw CliError::BadInput(file + ": " + stored.code + " is not in " + context.tableName);
    if (!record->writeable || record->name == QLatin1String("Reserved"))
      continue;
    if (stored.nowData.trimmed().isEmpty())
      throw CliError::BadInput(file + ": " + stored.code + " has no value (Some functions value are empty!)");
    if (record->min == "--" || record->max == "--") {
      check.Skipped(record->code, "read-only");
      continue;
    }
    const QString value = ParameterFile::StoredValue(file, stored);
    try {
      planned.push_back({record, ParameterFile::PrepareWrite(*record, value)});
    } catch (const CliError &e) {
      throw CliError::BadInput(file + ": " + QString::fromUtf8(e.what()));
    }
  }

  int failures = 0;
  Progress progress(context, "Written", static_cast<int>(planned.size()));
  int done = 0;
  for (const Planned &p : planned) {
    progress.Show(done++);
    check.Writing(p.record->code, p.value.raw, p.value.text, ParameterFile::Decimals(p.record->code));
    const ExchangeOutcome outcome =
        ExchangeWithRetry(context, ParameterFile::WriteBody(context.address, p.record->code, p.value.raw));
    if (outcome.kind == ExchangeOutcome::Kind::Accepted) {
      check.Confirmed();
      continue;
    }
    ++failures;
    if (outcome.IsException())
      check.Refused();
    Note(p.record->code + ": " + OutcomeText(context, outcome));
  }
  progress.Show(done);

  bool failed = failures > 0;
  if (verify) {
    check.StartReadBack();
    for (QString code = check.NextToRead(false); !code.isEmpty(); code = check.NextToRead(false)) {
      const ExchangeOutcome outcome =
          ExchangeWithRetry(context, ParameterFile::ReadBody(context.address, code));
      if (IsValueReply(outcome))
        check.ReadBack(RegisterOf(outcome));
    }
    failed = failed || check.VerifiedCount() != check.WrittenCount();
    if (!context.quiet || failed)
      Note(check.Report(".") + LineTrouble(context));
  } else if (!context.quiet || failed) {
    Note(QStringLiteral("%1 values written from %2").arg(done - failures).arg(file) +
         (failures > 0 ? QStringLiteral("; %1 failed").arg(failures) : QString()) + LineTrouble(context));
  }
  return failed ? 1 : 0;
}

int Compare(CliContext &context) {
  context.RequireWords(1, "the FILE.dbf to compare");
  const QString file = context.args.words.first();
  const QString against = context.args.Value("against", "defaults");
  // Each value is read as restore would write it: one it would refuse is
  // not compared as some other number.
  const auto load = [](const QString &name) {
    ParameterFile::Records records = ParameterFile::Load(name);
    for (const TableRecord &record : records)
      ParameterFile::StoredValue(name, record);
    return records;
  };
  const ParameterFile::Records here = load(file);
  const auto decimals = [](const QString &code) { return ParameterFile::Decimals(code); };
  const std::vector<ParameterCompare::Row> rows =
      against == "defaults" ? ParameterCompare::WithDefaults(here, decimals, ".")
                            : ParameterCompare::WithSet(here, load(against), decimals, ".");
  for (const ParameterCompare::Row &row : rows) {
    if (!ParameterCompare::IsDifference(row.kind))
      continue;
    context.output.Write({{"code", row.code, {}},
                          {"name", row.name, {}},
                          {"here", row.here, {}},
                          {"there", row.there, {}},
                          {"kind", ParameterCompare::KindText(row.kind), {}}});
  }
  const QString summary = ParameterCompare::Summary(ParameterCompare::Count(rows));
  if (context.output.Kind() == RecordOutput::Format::Text)
    std::printf("%s\n", summary.toUtf8().constData());
  else if (!context.quiet)
    Note(summary);
  return 0;
}

} // namespace CliCommands
