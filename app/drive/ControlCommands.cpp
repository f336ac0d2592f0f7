// The "Com Command" group: the control buttons (the commands themselves are
// the session's DriveControl), the lamps that follow an answered command, the
// drive address box and the broadcast switch.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/drive/InputFilters.h"
#include "drive/DriveAddress.h"
#include "session/DriveControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>

namespace {
const char *const BroadcastDuringScanMessage = "Scanning!Plese close Scan before starting broadcast!";

// Quietly, so that the box's own change handler does not run; the exchange
// engine is told all the same.
void SetMachineIDText(TForm1 &form, const std::string &text) {
  {
    const QSignalBlocker quiet(form.MachineID);
    form.MachineID->setEditText(QString::fromStdString(text));
  }
  form.TellMachineID();
}
} // namespace

void TForm1::IssueControlCommand(int controlType) {
  Control->Issue(static_cast<ControlCommand>(controlType), MachineID->currentText());
}

void TForm1::UFwdStartClick() { IssueControlCommand(FwdStart); }
void TForm1::URevStartClick() { IssueControlCommand(RevStart); }
void TForm1::UDecStopClick() { IssueControlCommand(DecStop); }
void TForm1::UFreeStopClick() { IssueControlCommand(FreeStop); }
void TForm1::UStartClick() { IssueControlCommand(Start); }
void TForm1::UResetClick() { IssueControlCommand(Reset); }
void TForm1::UFwdJogMouseDown() { IssueControlCommand(FwdJogPress); }
void TForm1::UFwdJogMouseUp() { IssueControlCommand(FwdJogRelease); }
void TForm1::URevJogMouseDown() { IssueControlCommand(RevJogPress); }
void TForm1::URevJogMouseUp() { IssueControlCommand(RevJogRelease); }

void TForm1::ShowControlLamps() {
  if (const auto lamps = Control->Lamps())
    SetLamps(lamps->run, lamps->stop, lamps->fwd, lamps->rev, lamps->jog, lamps->fault, lamps->com);
}

void TForm1::MachineIDExit() {
  const QString text = MachineID->currentText();
  const FieldCheck check = DriveAddress::Check(text.toStdString());
  if (!check.Ok()) {
    InputFilters::RefuseField(MachineID, check);
    return;
  }
  PrevMachineID = text.toStdString();
}

void TForm1::MachineIDChange() {
  const QString text = MachineID->currentText();
  if (text.isEmpty())
    return;
  if (text != "0")
    return;
  if (State.ScanRunning) {
    Dialogs::ShowMessage(BroadcastDuringScanMessage);
    SetMachineIDText(*this, PrevMachineID);
    return;
  }
  if (CheckBox1->isChecked())
    return;
  CheckBox1->setChecked(true); // runs the broadcast switch
}

void TForm1::CheckBox1Click() {
  if (State.ScanRunning) {
    Dialogs::ShowMessage(BroadcastDuringScanMessage);
    {
      const QSignalBlocker quiet(CheckBox1);
      CheckBox1->setChecked(false);
    }
    SetMachineIDText(*this, PrevMachineID);
    return;
  }
  if (CheckBox1->isChecked()) {
    PrevMachineID = MachineID->currentText().toStdString();
    SetMachineIDText(*this, "0");
    MachineID->setEnabled(false);
  } else {
    const bool keptAddress = !PrevMachineID.empty() && PrevMachineID != "0";
    SetMachineIDText(*this, keptAddress ? PrevMachineID : "1");
    MachineID->setEnabled(true);
  }
}
