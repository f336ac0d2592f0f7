// The window's side of read all and write all: the buttons start and cancel
// the runs of ParameterRuns after the refusals only the window can judge,
// and the window shows what the runs tell (the captions, the controls a run
// disables, the progress line, the messages and the parameter window's
// fields).
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/params/TInputBox.h"
#include "session/ParameterRuns.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

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

// A run starts from the COM ERROR lamp as it shows: lit, the first record
// is asked again as after any failed exchange.
void TellLastExchange(TForm1 &form) {
  form.Runs->SetLastExchangeFailed(form.UcomShape->BrushColor() == LampColor::Red);
}

// Puts a value into the common-parameter box that shows `code`, if any.
void ShowInCommonBox(TForm1 &form, const QString &code, const QString &text) {
  if (TClickEdit *box = form.CommonBoxOfCode(code)) {
    box->setText(text);
    form.MarkCommonValue(box, true);
  }
}
} // namespace

void TForm1::ReadAllClick() {
  if (!RunMayChange(*this))
    return;
  if (Runs->Active() == ParameterRuns::Run::ReadAll) {
    Runs->CancelReadAll();
  } else if (Runs->Active() == ParameterRuns::Run::None) {
    TellLastExchange(*this);
    Runs->StartReadAll();
  }
}

void TForm1::WriteAllClick() {
  if (!RunMayChange(*this))
    return;
  if (Runs->Active() == ParameterRuns::Run::WriteAll) {
    Runs->CancelWriteAll();
  } else if (Runs->Active() == ParameterRuns::Run::None) {
    TellLastExchange(*this);
    Runs->StartWriteAll(VerifyWriteAll->isChecked());
  }
}

void TForm1::ReadAllStep() { Runs->ReadAllStep(); }
bool TForm1::WriteAllStep() { return Runs->WriteAllStep(); }
int TForm1::ParameterRecordCount() const { return Runs->ParameterRecordCount(); }

int TForm1::ParameterWindowRecord() const {
  return ActiveTab() == ControlPage ? CommonParamRow : ParameterRuns::CurrentRecord;
}

void TForm1::WireParameterRuns() {
  Runs = new ParameterRuns(*Engine, *Functions, this);
  const auto tellContinue = [this] { Runs->SetContinueOnErrors(CheckBox2->isChecked()); };
  connect(CheckBox2, &QCheckBox::toggled, this, tellContinue);
  tellContinue();
  const auto tellSeries = [this] { Runs->SetSeriesDecimals(IsRm40Selected()); };
  connect(DriveSeries, &QComboBox::currentIndexChanged, this, tellSeries);
  tellSeries();

  connect(Runs, &ParameterRuns::RunningChanged, this, [this](ParameterRuns::Run run, bool running) {
    const bool reading = run == ParameterRuns::Run::ReadAll;
    QPushButton *button = reading ? ReadAll : WriteAll;
    button->setText(reading ? (running ? ReadAllBusy : ReadAllIdle)
                            : (running ? WriteAllBusy : WriteAllIdle));
    EnableDisturbingControls(*this, reading ? WriteAll : ReadAll, !running);
  });
  connect(Runs, &ParameterRuns::ProgressChanged, ReadWriteProgress, &QLabel::setText);
  connect(Runs, &ParameterRuns::Telling, this, [](const QString &message) { Dialogs::ShowMessage(message); });

  // The parameter window's fields and the common-parameter boxes.
  connect(Runs, &ParameterRuns::ValueRead, this,
          [this](int, const QString &code, const QString &text, bool inRun) {
            InputBox->ShowReadValue(code, text);
            if (ActiveTab() == ControlPage)
              ShowInCommonBox(*this, code, text);
            if (!inRun)
              InputBox->SetHint("Hint: Read successfully!");
          });
  connect(Runs, &ParameterRuns::ReadNotAllowed, this,
          [] { InputBox->SetHint("Hint: This parameter is not allowed to read!"); });
  connect(Runs, &ParameterRuns::ValueWritten, this,
          [this](int, const QString &code, const QString &text, bool inRun) {
            if (!inRun)
              InputBox->SetHint("Hint: Modify successfully!");
            if (IsRm40Selected())
              ShowInCommonBox(*this, code, text);
          });
}
