// Read all and write all: the buttons only start and stop a run; the send
// timer calls one step per tick, and each step prepares at most one request
// through the parameter window's read or modify.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/params/TInputBox.h"
#include "app/params/VerifiedWriteAll.h"
#include "params/DecimalScaling.h"
#include "params/RunProgress.h"
#include "protocol/HexText.h"
#include "session/FunctionTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <memory>
#include <vector>

namespace {
const QString ReadAllIdle = "Read all functions_ok";
const QString ReadAllBusy = "Read all functions_cancel";
const QString WriteAllIdle = "Write all functions_ok";
const QString WriteAllBusy = "Write all functions_cancel";

// The controls that could disturb a run; `other` is the other run's button.
void EnableDisturbingControls(TForm1 &form, QPushButton *other, bool enabled) {
  for (QWidget *control : std::initializer_list<QWidget *>{
           other, form.TabSheet1, form.TabSheet3, form.UProtocol, form.CompareParameters, form.UmotorScan,
           form.UdefRun, form.UdefStop, form.Utimeout})
    control->setEnabled(enabled);
}

// The refusals shared by both buttons, for starting and for cancelling.
bool RunMayChange(const TForm1 &form) {
  if (form.State.ScanRunning) {
    Dialogs::ShowMessage("Please stop refresh before you start read all function!");
    return false;
  }
  if (form.CheckBox1->isChecked()) {
    Dialogs::ShowMessage("Please stop broadcast before you start read all function!");
    return false;
  }
  if (form.UrunShape->BrushColor() == LampColor::Green) {
    Dialogs::ShowMessage("Please stop running before you start read all function!");
    return false;
  }
  return true;
}

// The last exchange failed and failed records are to be asked again.
bool RetryLastRecord(const TForm1 &form) {
  return form.UcomShape->BrushColor() == LampColor::Red && !form.CheckBox2->isChecked();
}

// A run's last word: what happened on the line since it started, and how
// late the drive answers when it was seen to.
QString EndingMessage(const TForm1 &form, const QString &finished) {
  RunTally now = RunTally::Of(form.State);
  now.retried = form.RunRetries;
  QStringList lateNotes;
  bool ok = false;
  const int address = form.MachineID->currentText().toInt(&ok);
  const int lateMs = ok ? form.Engine->Lateness().LatenessMs(address) : 0;
  if (lateMs > 0 && now.late > form.RunStartTally.late)
    lateNotes << LateDriveNote(address, lateMs, form.State.TimeoutMs);
  return RunEndingMessage(finished, form.RunStartTally, now, lateNotes);
}

void StartTally(TForm1 &form) {
  form.RunStartTally = RunTally::Of(form.State);
  form.RunRetries = 0;
}

// A box shown from inside a step: the ticks that run while it is open must
// not start the next step.
void ShowStepMessage(TForm1 &form, const QString &text) {
  form.StepBoxShowing = true;
  Dialogs::ShowMessage(text);
  form.StepBoxShowing = false;
}

QString LastThree(const QString &code) { return code.right(3); }

void ShowProgressText(TForm1 &form, const std::string &text) {
  form.ReadWriteProgress->setText(QString::fromStdString(text));
}

// The values a run kept go to the file, and the grid shows the file as
// stored, as after every reply of a run that does not keep them.
void EndBatchedRun(TForm1 &form) {
  if (!form.PostsInBatches())
    return;
  form.WriteKeptValues(true);
  form.Functions->Reopen(form.Functions->CurrentRecord());
}

// A run ended before its last record: by the user, or by a refusal.
void ShowStopped(TForm1 &form, int index) {
  const int count = form.Functions->RecordCount();
  if (index < count)
    ShowProgressText(form, RunProgress::Stopped(index, count, form.ReadWriteClock.elapsed()));
}
// At line rate the values kept are written once this step's request is on
// the line, while the drive answers, rather than before it goes out.
void WriteKeptValuesAfterSending(TForm1 &form) {
  if (!form.PostsInBatches()) {
    form.WriteKeptValues(false);
    return;
  }
  QMetaObject::invokeMethod(
      &form,
      [&form] {
        if (form.PostsInBatches())
          form.WriteKeptValues(false);
      },
      Qt::QueuedConnection);
}
// Write all's last word once its last write has been answered, refused or
// timed out, so that the count holds it too; nothing when the run was
// cancelled meanwhile.
void FinishWriteAllWhenAnswered(TForm1 &form) {
  auto connections = std::make_shared<std::vector<QMetaObject::Connection>>();
  const auto finish = [&form, connections] {
    if (form.ModifyPending || form.State.WaitingReply)
      return; // the last write is not on the line yet, or not answered
    for (const QMetaObject::Connection &connection : *connections)
      QObject::disconnect(connection);
    // cancelled meanwhile (the last write's reply itself clears WriteAllActive)
    if (form.WriteAll->text() != WriteAllBusy)
      return;
    ShowStepMessage(form, EndingMessage(form, "Have finished writing all codes!"));
    form.EndWriteAll();
  };
  // queued: the box is shown once the reply's own handling is over
  *connections = {
      QObject::connect(form.Engine, &TExchangeEngine::ReplyAccepted, &form, finish, Qt::QueuedConnection),
      QObject::connect(form.Engine, &TExchangeEngine::ReplyRejected, &form, finish, Qt::QueuedConnection),
      QObject::connect(form.Engine, &TExchangeEngine::ReplyMissing, &form, finish, Qt::QueuedConnection),
      QObject::connect(form.Engine, &TExchangeEngine::RequestRefused, &form, finish, Qt::QueuedConnection)};
}
} // namespace

void TForm1::WriteKeptValues(bool now) {
  constexpr qint64 BatchMs = 200;
  const qint64 elapsed = ReadWriteClock.isValid() ? ReadWriteClock.elapsed() : 0;
  if (!now && elapsed - KeptValuesWrittenMs < BatchMs)
    return;
  KeptValuesWrittenMs = elapsed;
  Functions->WriteKeptValues();
}

void TForm1::ShowReadWriteProgress() {
  const bool reading = State.ReadAllActive;
  const int done = reading ? State.ReadAllIndex : State.WriteAllIndex;
  const int count = Functions->RecordCount();
  const std::string verb = reading ? "Read" : "Written";
  const qint64 elapsed = ReadWriteClock.elapsed();
  // At line rate the line changes a few times a second, not at every record.
  constexpr qint64 RefreshMs = 150;
  if (done > 0 && done < count && elapsed - ProgressShownMs < RefreshMs)
    return;
  ProgressShownMs = elapsed;
  ShowProgressText(*this, done >= count ? RunProgress::Finished(verb, done, count, elapsed)
                                        : RunProgress::Running(verb, done, count, elapsed));
}

void TForm1::ReadAllClick() {
  if (!RunMayChange(*this))
    return;
  if (ReadAll->text() == ReadAllIdle) {
    State.ReadAllActive = true;
    State.ReadAllIndex = 0;
    ReadAll->setText(ReadAllBusy);
    EnableDisturbingControls(*this, WriteAll, false);
    StartTally(*this);
    ReadWriteClock.start();
    ShowReadWriteProgress();
  } else if (ReadAll->text() == ReadAllBusy) {
    EndReadAll();
  }
}

void TForm1::WriteAllClick() {
  if (!RunMayChange(*this))
    return;
  if (WriteAll->text() == WriteAllIdle) {
    State.WriteAllActive = true;
    State.WriteAllIndex = 0;
    WriteAll->setText(WriteAllBusy);
    EnableDisturbingControls(*this, ReadAll, false);
    if (VerifyWriteAll->isChecked())
      WriteCheck.Begin();
    else
      WriteCheck.End();
    StartTally(*this);
    ReadWriteClock.start();
    ShowReadWriteProgress();
  } else if (WriteAll->text() == WriteAllBusy) {
    EndWriteAll();
  }
}

void TForm1::EndReadAll() {
  ShowStopped(*this, State.ReadAllIndex);
  EndBatchedRun(*this);
  State.ReadAllActive = false;
  State.ReadAllIndex = 0;
  ReadAll->setText(ReadAllIdle);
  EnableDisturbingControls(*this, WriteAll, true);
}

void TForm1::EndWriteAll() {
  // Reading back has no place in the records to tell.
  if (!WriteCheck.ReadingBack())
    ShowStopped(*this, State.WriteAllIndex);
  EndBatchedRun(*this);
  if (WriteCheck.ReadingBack()) {
    State.ReadAllActive = false;
    State.ReadAllIndex = 0;
  }
  WriteCheck.End();
  State.WriteAllActive = false;
  State.WriteAllIndex = 0;
  WriteAll->setText(WriteAllIdle);
  EnableDisturbingControls(*this, ReadAll, true);
}

void TForm1::ReadAllStep() {
  if (StepBoxShowing)
    return;
  WriteKeptValuesAfterSending(*this);
  if (WriteCheck.ReadingBack()) {
    ReadBackStep();
    return;
  }
  const int count = Functions->RecordCount();
  if (count == 0) {
    // Nothing to read: end at once rather than stand on no record.
    EndReadAll();
    return;
  }
  if (RetryLastRecord(*this)) {
    RunRetries += State.ReadAllIndex > 0;
    --State.ReadAllIndex;
  }
  // The last record's exchange has ended (the tick calls a step only then):
  // the run can tell how it went.
  if (State.ReadAllIndex >= count) {
    ShowStepMessage(*this, EndingMessage(*this, "Have finished reading all codes!"));
    EndReadAll();
    return;
  }
  for (;;) {
    Functions->MoveTo(State.ReadAllIndex);
    const bool reserved = Functions->Text("NAME") == "Reserved";
    if (!reserved) {
      CurrentCode = LastThree(Functions->Text("CODE"));
      try {
        InputBox->Button4Click();
      } catch (...) {
        // A code that gives no register would fail again at every tick.
        EndReadAll();
        throw;
      }
    }
    ++State.ReadAllIndex;
    // At line rate a record with nothing to read does not wait for a tick.
    if (!reserved || !PostsInBatches() || State.ReadAllIndex >= count)
      break;
  }
  ShowReadWriteProgress();
}

bool TForm1::WriteAllStep() {
  if (StepBoxShowing)
    return true;
  WriteKeptValuesAfterSending(*this);
  const int count = Functions->RecordCount();
  int &index = State.WriteAllIndex;
  Functions->MoveTo(index);
  // The previous record is written again only when it and this one are both
  // writeable, and not when the drive refused its value.
  const bool refused = WriteCheck.TakeRefusal();
  if (RetryLastRecord(*this) && !refused && Functions->Writeable()) {
    index = std::max(index - 1, 0);
    Functions->MoveTo(index);
    if (!Functions->Writeable())
      ++index;
  }
  Functions->MoveTo(index);

  const QString stored = Functions->Text("NOWDATA");
  if (Functions->Writeable() &&
      (!WriteCheck.Active() || VerifiedWriteAll::MayWrite(*this, Functions->Text("CODE"), stored))) {
    if (stored.isEmpty()) {
      EndWriteAll();
      Dialogs::ShowMessage("Some functions value are empty!");
      return false;
    }
    // The value may have been stored under another locale's separator.
    InputBox->UmodifyFunc->setText(
        QString::fromStdString(DecimalScaling::WithSeparator(stored.toStdString(), LocaleDecimalSeparator)));
    if (!InputBox->UmodifyFunc->text().isEmpty()) {
      const QString code = Functions->Text("CODE");
      CurrentCode = LastThree(code);
      bool prepared;
      try {
        prepared = InputBox->Button1Click();
      } catch (...) {
        // A stored value that is no number would fail again at every tick.
        EndWriteAll();
        throw;
      }
      if (prepared && WriteCheck.Active())
        VerifiedWriteAll::NoteWrite(*this, code);
      // Refused although there is a value: it does not fit in a register.
      if (!prepared && !InputBox->UmodifyFunc->text().isEmpty()) {
        EndWriteAll();
        Dialogs::ShowMessage("The value of " + code + " is too large for the inverter!");
        return false;
      }
    }
  }

  index = std::min(index + 1, count);
  ShowReadWriteProgress();
  if (count == index) {
    Functions->MoveTo(count - 1);
    if (WriteCheck.Active()) {
      VerifiedWriteAll::StartReadBack(*this);
      return true;
    }
    if (ModifyPending) {
      FinishWriteAllWhenAnswered(*this);
      return true;
    }
    ShowStepMessage(*this, EndingMessage(*this, "Have finished writing all codes!"));
    EndWriteAll();
  }
  return true;
}
