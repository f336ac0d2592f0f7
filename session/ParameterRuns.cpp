// Read all and write all: a button only starts and cancels a run; the send
// timer calls one step per tick, and each step puts at most one request in
// the engine's pending read or modify, as the parameter window's read and
// modify do.
#include "session/ParameterRuns.h"

#include "params/DecimalScaling.h"
#include "params/LocaleDecimal.h"
#include "params/ParameterCodes.h"
#include "params/ParameterRange.h"
#include "params/RunProgress.h"
#include "protocol/ConvertError.h"
#include "protocol/HexText.h"
#include "session/FunctionTable.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {
const QString FinishedReading = QStringLiteral("Have finished reading all codes!");
const QString FinishedWriting = QStringLiteral("Have finished writing all codes!");

QString LastThree(const QString &code) { return code.right(3); }
} // namespace

ParameterRuns::ParameterRuns(TExchangeEngine &engine, FunctionTable &table, QObject *parent)
    : QObject(parent), engine_(engine), state_(engine.State), table_(table) {
  connect(&engine_, &TExchangeEngine::ExchangeEnded, this, &ParameterRuns::ExchangeEnded);
  connect(&engine_, &TExchangeEngine::ReplyDispatched, this, &ParameterRuns::ReplyDispatched);
}

// ---- the run state and the engine's flags -----------------------------------------

bool ParameterRuns::Reading() const {
  return run_ == Run::ReadAll || (run_ == Run::WriteAll && check_.ReadingBack());
}

bool ParameterRuns::Writing() const {
  return run_ == Run::WriteAll && !check_.ReadingBack() && !lastWriteAnswered_;
}

void ParameterRuns::Publish() {
  // Reading back after write all goes through the read all steps, from the
  // first record each time (the written codes are found by CODE).
  const bool writeRecords = run_ == Run::WriteAll && !check_.ReadingBack();
  engine_.SetParameterRun(Reading(), run_ == Run::ReadAll ? index_ : 0, Writing(), writeRecords ? index_ : 0);
}

// Each reply of a run at line rate would otherwise rewrite and reread the
// whole table; the run writes what it kept at most every 200 ms and at its end.
bool ParameterRuns::PostsInBatches() const { return (Reading() || Writing()) && engine_.CompleteOnReply(); }

// The last exchange failed and failed records are to be asked again.
bool ParameterRuns::RetryLastRecord() const { return lastExchangeFailed_ && !continueOnErrors_; }

int ParameterRuns::ParameterRecordCount() const { return table_.RecordCount(); }

// ---- starting and ending ------------------------------------------------------------

void ParameterRuns::Begin(Run run) {
  run_ = run;
  index_ = 0;
  lastWriteAnswered_ = false;
  finishAwaited_ = false;
  Publish();
  emit RunningChanged(run, true);
  startTally_ = RunTally::Of(state_);
  retried_ = 0;
  clock_.start();
  ShowProgress();
}

void ParameterRuns::StartReadAll() {
  if (run_ != Run::None)
    return;
  Begin(Run::ReadAll);
}

void ParameterRuns::StartWriteAll(bool verify) {
  if (run_ != Run::None)
    return;
  if (verify)
    check_.Begin();
  else
    check_.End();
  Begin(Run::WriteAll);
}

void ParameterRuns::CancelReadAll() {
  if (run_ != Run::ReadAll)
    return;
  EndReadAll();
  emit RunEnded(Run::ReadAll, QString());
}

void ParameterRuns::CancelWriteAll() {
  if (run_ != Run::WriteAll)
    return;
  EndWriteAll();
  emit RunEnded(Run::WriteAll, QString());
}

void ParameterRuns::EndReadAll() {
  ShowStopped(index_);
  EndBatchedRun();
  run_ = Run::None;
  index_ = 0;
  Publish();
  emit RunningChanged(Run::ReadAll, false);
}

void ParameterRuns::EndWriteAll() {
  // Reading back has no place in the records to tell.
  if (!check_.ReadingBack())
    ShowStopped(index_);
  EndBatchedRun();
  check_.End();
  run_ = Run::None;
  index_ = 0;
  lastWriteAnswered_ = false;
  finishAwaited_ = false;
  Publish();
  emit RunningChanged(Run::WriteAll, false);
}

void ParameterRuns::Tell(const QString &message) {
  // The ticks that run while the message is shown must not start the next step.
  struct Holding {
    bool &telling;
    explicit Holding(bool &flag) : telling(flag) { telling = true; }
    ~Holding() { telling = false; }
  } holding(telling_);
  emit Telling(message);
}

// A run's last word: what happened on the line since it started, and how
// late the drive answers when it was seen to.
QString ParameterRuns::EndingMessage(const QString &finished) const {
  RunTally now = RunTally::Of(state_);
  now.retried = retried_;
  QStringList lateNotes;
  bool ok = false;
  const int address = engine_.MachineId().toInt(&ok);
  const int lateMs = ok ? engine_.Lateness().LatenessMs(address) : 0;
  if (lateMs > 0 && now.late > startTally_.late)
    lateNotes << LateDriveNote(address, lateMs, engine_.TimeoutMs);
  return RunEndingMessage(finished, startTally_, now, lateNotes);
}

// ---- progress and the values kept -------------------------------------------------------

void ParameterRuns::ShowProgress() {
  const bool reading = Reading();
  const int done = check_.ReadingBack() ? 0 : index_;
  const int count = table_.RecordCount();
  const std::string verb = reading ? "Read" : "Written";
  const qint64 elapsed = clock_.elapsed();
  // At line rate the line changes a few times a second, not at every record.
  constexpr qint64 RefreshMs = 150;
  if (done > 0 && done < count && elapsed - progressShownMs_ < RefreshMs)
    return;
  progressShownMs_ = elapsed;
  emit ProgressChanged(QString::fromStdString(done >= count
                                                  ? RunProgress::Finished(verb, done, count, elapsed)
                                                  : RunProgress::Running(verb, done, count, elapsed)));
}

// A run ended before its last record: by the user, or by a refusal.
void ParameterRuns::ShowStopped(int index) {
  const int count = table_.RecordCount();
  if (index < count)
    emit ProgressChanged(QString::fromStdString(RunProgress::Stopped(index, count, clock_.elapsed())));
}

bool ParameterRuns::KeptValuesDue() const {
  constexpr qint64 BatchMs = 200;
  const qint64 elapsed = clock_.isValid() ? clock_.elapsed() : 0;
  return elapsed - keptWrittenMs_ >= BatchMs;
}

void ParameterRuns::WriteKeptValues(bool now) {
  if (!now && !KeptValuesDue())
    return;
  keptWrittenMs_ = clock_.isValid() ? clock_.elapsed() : 0;
  table_.WriteKeptValues();
}

// At line rate the values kept are written once this step's request is on
// the line, while the drive answers, rather than before it goes out; and
// only a step whose batch is due asks for that.
void ParameterRuns::WriteKeptValuesAfterSending() {
  if (!PostsInBatches()) {
    WriteKeptValues(false);
    return;
  }
  if (!KeptValuesDue())
    return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (PostsInBatches())
          WriteKeptValues(false);
      },
      Qt::QueuedConnection);
}

// The values a run kept go to the file, and the table shows the file as
// stored, as after every reply of a run that does not keep them.
void ParameterRuns::EndBatchedRun() {
  if (!PostsInBatches())
    return;
  WriteKeptValues(true);
  table_.Reopen(table_.CurrentRecord());
}

// ---- requests --------------------------------------------------------------------------

int ParameterRuns::Decimals(const QString &shortCode) const {
  return seriesDecimals_ ? DecimalPlaces(shortCode.toStdString()) : 0;
}

// The drive address of the requests: the engine's as two upper-case hex digits.
std::string ParameterRuns::SlaveAddressHex() const {
  const int address = StrToInt(engine_.MachineId().toStdString());
  return QString("%1").arg(address, 2, 16, QChar('0')).toUpper().toStdString();
}

void ParameterRuns::RequestRead(const QString &shortCode, int record) {
  engine_.QueueRead(SlaveAddressHex() + "03" + ParameterRegister(shortCode.toStdString()) + "0001");
  readRecord_ = record;
}

std::optional<std::uint16_t> ParameterRuns::RequestModify(const QString &shortCode, const QString &normalized,
                                                          int record) {
  const auto raw =
      DecimalScaling::ToRegisterValue(normalized.toStdString(), Decimals(shortCode), LocaleDecimalSeparator);
  if (!raw) {
    // Four hex digits cannot carry it; sending a cut value would change the
    // parameter to something nobody asked for.
    return std::nullopt;
  }
  engine_.QueueModify(SlaveAddressHex() + "06" + ParameterRegister(shortCode.toStdString()) +
                      DecimalScaling::RegisterHex(*raw));
  modifyRecord_ = record;
  modifyText_ = normalized;
  return raw;
}

void ParameterRuns::ReadParameter(const QString &shortCode, int record) { RequestRead(shortCode, record); }

QString ParameterRuns::Normalized(const QString &shortCode, const QString &text) const {
  LoadDecimalSeparator();
  return QString::fromStdString(
      DecimalScaling::NormalizeDecimals(text.toStdString(), Decimals(shortCode), LocaleDecimalSeparator));
}

bool ParameterRuns::ModifyParameter(const QString &shortCode, const QString &normalized, int record) {
  return RequestModify(shortCode, normalized, record).has_value();
}

// ---- read all ---------------------------------------------------------------------------

void ParameterRuns::ReadAllStep() {
  if (telling_)
    return;
  WriteKeptValuesAfterSending();
  if (check_.ReadingBack()) {
    ReadBackStep();
    return;
  }
  if (run_ != Run::ReadAll)
    return;
  const int count = table_.RecordCount();
  if (count == 0) {
    // Nothing to read: end at once rather than stand on no record.
    EndReadAll();
    emit RunEnded(Run::ReadAll, QString());
    return;
  }
  if (RetryLastRecord()) {
    retried_ += index_ > 0;
    --index_;
    Publish();
  }
  // The last record's exchange has ended (the tick calls a step only then):
  // the run can tell how it went.
  if (index_ >= count) {
    const QString message = EndingMessage(FinishedReading);
    Tell(message);
    EndReadAll();
    emit RunEnded(Run::ReadAll, message);
    return;
  }
  for (;;) {
    table_.MoveTo(index_);
    const bool reserved = table_.Text("NAME") == "Reserved";
    if (!reserved) {
      try {
        RequestRead(LastThree(table_.Text("CODE")), CurrentRecord);
      } catch (...) {
        // A code that gives no register would fail again at every tick.
        EndReadAll();
        emit RunEnded(Run::ReadAll, QString());
        throw;
      }
    }
    ++index_;
    Publish();
    // At line rate a record with nothing to read does not wait for a tick.
    if (!reserved || !PostsInBatches() || index_ >= count)
      break;
  }
  ShowProgress();
}

// ---- write all ----------------------------------------------------------------------------

bool ParameterRuns::WriteAllStep() {
  if (telling_)
    return true;
  if (run_ != Run::WriteAll)
    return true;
  WriteKeptValuesAfterSending();
  const int count = table_.RecordCount();
  table_.MoveTo(index_);
  // The previous record is written again only when it and this one are both
  // writeable, and not when the drive refused its value.
  const bool refused = check_.TakeRefusal();
  if (RetryLastRecord() && !refused && table_.Writeable()) {
    index_ = std::max(index_ - 1, 0);
    table_.MoveTo(index_);
    if (!table_.Writeable())
      ++index_;
    Publish();
  }
  table_.MoveTo(index_);

  const QString stored = table_.Text("NOWDATA");
  // Read as a typed value is: "1,000" is refused, not written as 1.0.
  const LocaleDecimal::Reading reading = LocaleDecimal::Read(stored);
  if (table_.Writeable() && !reading.refusal.isEmpty()) {
    const QString message =
        table_.Path() + ": " + table_.Text("CODE") + "=" + stored + ": " + reading.refusal;
    EndWriteAll();
    Tell(message);
    emit RunEnded(Run::WriteAll, message);
    return false;
  }
  if (table_.Writeable() && (!check_.Active() || MayWrite(table_.Text("CODE"), reading.plain))) {
    if (stored.isEmpty()) {
      const QString message = QStringLiteral("Some functions value are empty!");
      EndWriteAll();
      Tell(message);
      emit RunEnded(Run::WriteAll, message);
      return false;
    }
    const QString value = QString(reading.plain).replace('.', QString::fromStdString(LocaleDecimalSeparator));
    if (!value.isEmpty()) {
      const QString code = table_.Text("CODE");
      const QString shortCode = LastThree(code);
      QString normalized;
      std::optional<std::uint16_t> raw;
      try {
        normalized = Normalized(shortCode, value);
        if (!normalized.isEmpty())
          raw = RequestModify(shortCode, normalized, CurrentRecord);
      } catch (...) {
        // A stored value that is no number would fail again at every tick.
        EndWriteAll();
        emit RunEnded(Run::WriteAll, QString());
        throw;
      }
      if (raw && check_.Active())
        check_.Writing(code, *raw, normalized, Decimals(code.mid(1)));
      // Refused although there is a value: it does not fit in a register.
      if (!raw && !normalized.isEmpty()) {
        const QString message = "The value of " + code + " is too large for the inverter!";
        EndWriteAll();
        Tell(message);
        emit RunEnded(Run::WriteAll, message);
        return false;
      }
    }
  }

  index_ = std::min(index_ + 1, count);
  Publish();
  ShowProgress();
  if (count == index_) {
    table_.MoveTo(count - 1);
    if (check_.Active()) {
      StartReadBack();
      return true;
    }
    if (state_.ModifyPending) {
      FinishWriteAllWhenAnswered();
      return true;
    }
    const QString message = EndingMessage(FinishedWriting);
    Tell(message);
    EndWriteAll();
    emit RunEnded(Run::WriteAll, message);
  }
  return true;
}

// Write all's last word once its last write has been answered, refused or
// timed out, so that the count holds it too; nothing when the run was
// cancelled meanwhile.
void ParameterRuns::FinishWriteAllWhenAnswered() {
  finishAwaited_ = true;
  auto connections = std::make_shared<std::vector<QMetaObject::Connection>>();
  const auto finish = [this, connections] {
    if (state_.ModifyPending || state_.WaitingReply)
      return; // the last write is not on the line yet, or not answered
    for (const QMetaObject::Connection &connection : *connections)
      QObject::disconnect(connection);
    if (!finishAwaited_)
      return; // cancelled meanwhile
    const QString message = EndingMessage(FinishedWriting);
    Tell(message);
    EndWriteAll();
    emit RunEnded(Run::WriteAll, message);
  };
  // queued: the message is told once the reply's own handling is over
  *connections = {connect(&engine_, &TExchangeEngine::ReplyAccepted, this, finish, Qt::QueuedConnection),
                  connect(&engine_, &TExchangeEngine::ReplyRejected, this, finish, Qt::QueuedConnection),
                  connect(&engine_, &TExchangeEngine::ReplyMissing, this, finish, Qt::QueuedConnection),
                  connect(&engine_, &TExchangeEngine::RequestRefused, this, finish, Qt::QueuedConnection)};
}

// ---- write all with verification ------------------------------------------------------

// False (and noted) when the current record is read-only or its stored
// value lies outside the record's MIN and MAX: it is not written.
bool ParameterRuns::MayWrite(const QString &code, const QString &stored) {
  const QString min = table_.Text("MIN");
  const QString max = table_.Text("MAX");
  switch (ParameterRange::Check(stored, min, max)) {
  case ParameterRange::Verdict::ReadOnly:
    check_.Skipped(code, "read-only");
    return false;
  case ParameterRange::Verdict::Outside:
    check_.Skipped(code, stored + " outside " + min + "----" + max);
    return false;
  case ParameterRange::Verdict::NotANumber: // the write reports it as it always has
  case ParameterRange::Verdict::Inside:
    break;
  }
  return true;
}

// The last record is done: the run goes on reading back what was written.
// The read all steps carry the reads; the write all button still cancels.
void ParameterRuns::StartReadBack() {
  check_.StartReadBack();
  index_ = 0;
  Publish();
}

void ParameterRuns::ReadBackStep() {
  const bool again = check_.ReadAwaited() && !continueOnErrors_;
  const QString code = check_.NextToRead(again);
  if (code.isEmpty()) {
    const QString report = check_.Report(LocaleDecimalSeparator);
    Tell(report);
    EndWriteAll();
    emit RunEnded(Run::WriteAll, report);
    return;
  }
  // The table follows the parameter read, as it follows read all.
  table_.MoveTo(table_.FindCode(code, -1));
  RequestRead(code.mid(1), CurrentRecord);
}

// ---- replies -----------------------------------------------------------------------------

void ParameterRuns::ExchangeEnded(const ExchangeRecord &record) {
  using Outcome = ExchangeRecord::Outcome;
  switch (record.outcome) {
  case Outcome::Accepted:
    lastExchangeFailed_ = false;
    // only a parameter read takes its value from the record, once dispatched
    if (record.consumer == ReplyConsumer::ReadParameter)
      accepted_ = record;
    break;
  case Outcome::ErrorReply:
    lastExchangeFailed_ = true;
    // A value the drive will not take: write all with verification lists it
    // and does not ask again.
    if (check_.Active() && record.rejection.kind == ReplyRejection::Kind::Exception &&
        record.rejection.exceptionCode == 3)
      check_.Refused();
    break;
  case Outcome::NoResponse:
    lastExchangeFailed_ = true;
    break;
  default:
    break;
  }
}

// The engine dispatches an accepted reply right after telling its record,
// once the window has taken the exchange's outcome.
void ParameterRuns::ReplyDispatched(ReplyConsumer consumer) {
  if (consumer == ReplyConsumer::ReadParameter)
    ReadReply(accepted_);
  else if (consumer == ReplyConsumer::ModifyParameter)
    ModifyReply();
}

void ParameterRuns::ReadReply(const ExchangeRecord &record) {
  if (record.values.empty() || record.registerAddress < 0)
    return;
  const std::uint16_t value = record.values.front();
  const bool reading = Reading();
  // Reading back after write all: the value is compared, never stored, so
  // that the table keeps what was meant to be written.
  if (check_.ReadingBack() && reading) {
    check_.ReadBack(value);
    return;
  }
  if (value == NotAllowedValue) {
    emit ReadNotAllowed();
    if (run_ == Run::ReadAll) {
      const QString message = QStringLiteral("Warning! Inverter is in fault status!");
      EndReadAll();
      Tell(message);
      emit RunEnded(Run::ReadAll, message);
    }
    return;
  }
  const auto reg = static_cast<std::uint16_t>(record.registerAddress);
  const int decimals = seriesDecimals_ ? DecimalScaling::RegisterDecimals(reg) : 0;
  LoadDecimalSeparator();
  const QString text =
      QString::fromStdString(DecimalScaling::FormatRegisterValue(value, decimals, LocaleDecimalSeparator));

  // The record concerned: the one read all stands on, the table's current
  // one, or the one named when the single read was asked.
  const int remembered = table_.CurrentRecord();
  if (!reading && readRecord_ != CurrentRecord)
    table_.MoveTo(readRecord_);
  const int stored = table_.CurrentRecord();
  const QString code = table_.Text("CODE");
  if (PostsInBatches()) {
    table_.KeepValues(text, text);
  } else {
    table_.StoreValues(text, text);
    table_.Reopen(remembered);
  }
  emit ValueRead(stored, code, text, reading);
}

void ParameterRuns::ModifyReply() {
  if (check_.Active())
    check_.Confirmed();
  const QString written = modifyText_;
  if (modifyRecord_ != CurrentRecord && !Writing()) {
    // A single modify of a named record (a common parameter's box).
    table_.MoveTo(modifyRecord_);
    const QString code = table_.Text("CODE");
    table_.StoreValues(written, written);
    table_.Reopen(-1, false);
    emit ValueWritten(modifyRecord_, code, written, false);
    return;
  }
  const int remembered = table_.CurrentRecord();
  const bool batched = PostsInBatches();
  bool inRun = true;
  if (batched) {
    table_.KeepValues(table_.Text("NOWDATA"), table_.Text("NOWDATA"));
  } else if (Writing()) {
    table_.StoreValues(table_.Text("NOWDATA"), table_.Text("NOWDATA"));
    // The last write answered: write all sends nothing more.
    if (table_.RecordCount() == index_) {
      lastWriteAnswered_ = true;
      Publish();
    }
  } else {
    table_.StoreValues(written, written);
    inRun = false;
  }
  const int stored = table_.CurrentRecord();
  const QString code = table_.Text("CODE");
  if (!batched)
    table_.Reopen(remembered);
  emit ValueWritten(stored, code, written, inRun);
}
