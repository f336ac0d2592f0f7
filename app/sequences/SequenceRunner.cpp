// The user's define sequence as the window starts and stops it; the run
// itself reads and writes the command list through CommandList.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "session/SequenceRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QToolButton>

namespace {
// Controls that would disturb a run; the grid itself is one of them.
void EnableRunControls(TForm1 &form, bool enabled) {
  for (QWidget *control :
       std::initializer_list<QWidget *>{form.URepeatTimes, form.UErrorCheck, form.UTimeoutCheck,
                                        form.UAddChecksum, form.UProtocol, form.UdefRun, form.StringGrid1})
    control->setEnabled(enabled);
}

// The command list and the choices around it, as the run reads them; a
// child of the window, gone with it.
class CommandList : public QObject, public SequenceList {
public:
  explicit CommandList(TForm1 &form) : QObject(&form), form_(form) {}
  int RowCount() const override { return form_.StringGrid1->rowCount(); }
  QString Cell(int row, int column) const override { return form_.GridText(row, column); }
  void SetCell(int row, int column, const QString &text) override { form_.SetGridText(row, column, text); }
  void SelectCell(int row, int column) override { form_.SelectGridCell(row, column); }
  QString RepeatTimes() const override { return form_.URepeatTimes->text(); }
  bool CommandMode() const override { return form_.UMODE->ItemIndex() == 1; }
  bool WriteMode() const override { return form_.RadioGroup1->ItemIndex() == 1; }
  QString DriveAddress() const override { return form_.MachineIDText(); }
  bool Rm40Selected() const override { return form_.IsRm40Selected(); }
  int StepPauseMs() const override { return form_.TimeIntervalMs; }

private:
  TForm1 &form_;
};
} // namespace

void TForm1::WireSequenceRun() {
  Sequence = new SequenceRun(*Engine, *new CommandList(*this), this);
  connect(Sequence, &SequenceRun::RunningChanged, this,
          [this](bool running) { EnableRunControls(*this, !running); });
  connect(Sequence, &SequenceRun::Refused, this,
          [](const QString &message) { Dialogs::ShowMessage(message); });
}

void TForm1::UdefRunClick() {
  if (!SequenceShown()) {
    UStartClick();
    return;
  }
  Sequence->Start();
}

void TForm1::UdefStopClick() {
  if (!SequenceShown()) {
    UDecStopClick();
    return;
  }
  Sequence->Stop();
}

void TForm1::SequenceStep() { Sequence->Step(); }
