#pragma once

#include "exchange/ExchangeEngine.h"
#include "params/RunEnding.h"
#include "params/WriteAllCheck.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

class FunctionTable;

// Read all, write all (with or without reading back what it wrote), and the
// parameter window's single read and modify, over the function table and
// the exchange engine. A run is started and cancelled here; the engine's
// tick calls its steps through ExchangeSteps (this object, or a window that
// hands them on), and each step puts at most one request in the engine's
// pending read or modify. The values the drive answers come
// from the engine's record of each exchange and go into the function
// table's records. What a window shows of it (the buttons, the progress
// line, the message boxes, the parameter window's fields) follows the
// signals; nothing here shows anything itself. Main thread only.
class ParameterRuns : public QObject, public ExchangeSteps {
  Q_OBJECT
public:
  enum class Run { None, ReadAll, WriteAll };
  Q_ENUM(Run)

  // A single read's or modify's value goes into the record the table stands
  // on when the reply comes (the grid's), or into a record named.
  static constexpr int CurrentRecord = -1;

  ParameterRuns(TExchangeEngine &engine, FunctionTable &table, QObject *parent = nullptr);

  // ---- what the runs go by -------------------------------------------------
  // "Continue when communication errors happen": when clear, a record whose
  // exchange failed is asked again before the run moves on.
  void SetContinueOnErrors(bool on) { continueOnErrors_ = on; }
  // The values of the selected series have each code's decimals (RM40);
  // otherwise they are whole numbers.
  void SetSeriesDecimals(bool on) { seriesDecimals_ = on; }
  // Whether the last exchange failed (a reply refused or none in its window).
  // Followed from the engine; a window tells it what its COM ERROR lamp
  // shows before a run starts, as that is what the run starts from.
  void SetLastExchangeFailed(bool failed) { lastExchangeFailed_ = failed; }

  // ---- runs ----------------------------------------------------------------
  // Each starts only while no run is active; a cancel ends its run at once,
  // between two steps, with no message.
  void StartReadAll();
  void CancelReadAll();
  // With `verify` the run reads back every value it wrote and reports what
  // the drive holds (TWriteAllCheck).
  void StartWriteAll(bool verify);
  void CancelWriteAll();

  // The run the user started; a write all that reads back is still WriteAll.
  Run Active() const { return run_; }
  // Whether the tick asks for reads (read all, or write all reading back) or
  // for writes: what the engine's flags say.
  bool Reading() const;
  bool Writing() const;
  // What the verification of the last write all did.
  const TWriteAllCheck &WriteCheck() const { return check_; }
  // A run with replies judged as soon as they are complete keeps the values
  // it gets and writes them to the table file every 200 ms and at its end;
  // every other reply is written to the file at once.
  bool PostsInBatches() const;

  // ---- the parameter window's single read and modify -------------------------
  // Asks the drive for the parameter `shortCode` ("113"); its value goes to
  // `record` (or the current record). Raises EConvertError when the code or
  // the drive address gives no register or address.
  void ReadParameter(const QString &shortCode, int record = CurrentRecord);
  // `text` with the decimals of `shortCode` and the locale's separator
  // ("45" -> "45.00" for F113); empty stays empty. Raises EConvertError for
  // what is no decimal number.
  QString Normalized(const QString &shortCode, const QString &text) const;
  // Writes `normalized` (as Normalized made it) to the parameter; its value
  // goes to `record` (or the current record) once the drive confirms it.
  // False, and nothing sent, when the value does not fit in a register.
  bool ModifyParameter(const QString &shortCode, const QString &normalized, int record = CurrentRecord);
  int Decimals(const QString &shortCode) const;

  // ---- ExchangeSteps: the engine's tick calls these --------------------------
  int ParameterRecordCount() const override;
  void ReadAllStep() override;
  bool WriteAllStep() override; // false when write all ended because of a value

signals:
  // A run started, or ended and was wound up.
  void RunningChanged(ParameterRuns::Run run, bool running);
  // How far the run has come: "Read 12 of 288 records, 0:03 elapsed, about
  // 1:09 left", "Written 288 of 288 records in 1:12", "Stopped after ...".
  void ProgressChanged(const QString &text);
  // A message for the user, to be shown at once: how a run ended ("Have
  // finished reading all codes!" and what failed, the verification's
  // report) or why it stopped ("Some functions value are empty!"). The
  // run takes no step until the handlers return.
  void Telling(const QString &message);
  // The run is over: told last, with the message told for it (empty when it
  // was cancelled or ended by an error raised in a step). A run that
  // finished tells its message before it is wound up, one stopped by a
  // value or by the drive's fault after.
  void RunEnded(ParameterRuns::Run run, const QString &message);
  // A value read from the drive was stored in `record` (CODE `code`, the
  // text with the code's decimals); `inRun` when read all asked for it.
  void ValueRead(int record, const QString &code, const QString &text, bool inRun);
  // The drive answered a read with FFFF: it will not tell the parameter (or
  // it is in fault status, which also ends read all).
  void ReadNotAllowed();
  // The drive confirmed a write of `text` to the parameter of `record`
  // (CODE `code`); `inRun` when a run wrote it and stored its own value.
  void ValueWritten(int record, const QString &code, const QString &text, bool inRun);

private:
  // Writes the run state into the engine's flags, which its tick reads.
  void Publish();
  bool RetryLastRecord() const;
  // The request for the drive in the engine's address ("01"), raising
  // EConvertError when that is no number.
  std::string SlaveAddressHex() const;
  void RequestRead(const QString &shortCode, int record);
  std::optional<std::uint16_t> RequestModify(const QString &shortCode, const QString &normalized, int record);

  void Begin(Run run);
  void EndReadAll();
  void EndWriteAll();
  void Tell(const QString &message);
  QString EndingMessage(const QString &finished) const;

  void ShowProgress();
  void ShowStopped(int index);
  // A batch of kept values is due to be written.
  bool KeptValuesDue() const;
  void WriteKeptValues(bool now);
  void WriteKeptValuesAfterSending();
  void EndBatchedRun();

  // ---- write all with verification ----
  bool MayWrite(const QString &code, const QString &stored);
  void StartReadBack();
  void ReadBackStep();
  void FinishWriteAllWhenAnswered();

  // ---- replies ----
  void ExchangeEnded(const ExchangeRecord &record);
  void ReplyDispatched(ReplyConsumer consumer);
  void ReadReply(const ExchangeRecord &record);
  void ModifyReply();

  TExchangeEngine &engine_;
  const CommState &state_; // the engine's
  FunctionTable &table_;

  bool continueOnErrors_ = false;
  bool seriesDecimals_ = true;
  bool lastExchangeFailed_ = false;

  // The run: which, the record it is at, and, for write all answered one
  // exchange at a time, whether the answer to its last write has come (it
  // then sends nothing more and waits for its last word).
  Run run_ = Run::None;
  int index_ = 0;
  bool lastWriteAnswered_ = false;
  // Write all's last word waits for the answer to its last write; a cancel
  // meanwhile takes it back.
  bool finishAwaited_ = false;
  // A message of a step is being told: the ticks that run meanwhile do not
  // start the next step.
  bool telling_ = false;
  RunTally startTally_; // the line's counts when the run started
  int retried_ = 0;     // records of the run asked again
  TWriteAllCheck check_;
  QElapsedTimer clock_;      // since the run started
  qint64 keptWrittenMs_ = 0; // on clock_
  qint64 progressShownMs_ = 0;

  // Where the pending single read's and modify's values go, and the text
  // of the write in flight.
  int readRecord_ = CurrentRecord;
  int modifyRecord_ = CurrentRecord;
  QString modifyText_;
  // The accepted exchange told last; the engine dispatches its reply next.
  ExchangeRecord accepted_;
};
