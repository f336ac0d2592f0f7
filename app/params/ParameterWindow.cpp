// The main window's side of the parameter window: loading a function table
// record into it, and storing the values that the drive confirms.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/params/TInputBox.h"
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "protocol/HexText.h"
#include "session/FunctionTable.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {
constexpr int ControlTab = 0;
constexpr int ParameterTab = 1;

QString LocaleSeparator() { return QString::fromStdString(LocaleDecimalSeparator); }

QString Replaced(QString text, const QString &from, const QString &to) {
  if (from.isEmpty())
    return text;
  return text.replace(from, to);
}

bool GridColumnIsModify(const TForm1 &form) {
  const QAbstractItemModel *model = form.DBGrid1->model();
  const int column = form.DBGrid1->currentIndex().column();
  return model && column >= 0 && model->headerData(column, Qt::Horizontal).toString() == "MODIFY";
}

// Puts a value into the common-parameter box that shows `code`, if any.
void ShowInCommonBox(const TForm1 &form, const QString &code, const QString &text) {
  if (TClickEdit *box = form.CommonBoxOfCode(code))
    box->setText(text);
}
} // namespace

void TForm1::PrepareParameterWindow() {
  if (!GridColumnIsModify(*this) && !State.CommonParamEdit)
    return;
  if (Functions->Text("NAME") == "Reserved") {
    Dialogs::ShowMessage("This parameter is not allowed to read or write!");
    return;
  }
  LoadDecimalSeparator();
  const QString separator = LocaleSeparator();
  ParamMinText = Replaced(Functions->Text("MIN"), ".", separator);
  ParamMaxText = Replaced(Functions->Text("MAX"), ".", separator);
  if (!ParamMinText.isEmpty() && !ParamMaxText.isEmpty()) {
    InputBox->Label3->setText("Please input data (" + ParamMinText + "----" + ParamMaxText + ")");
    InputBox->Button1->setEnabled(true);
  } else {
    InputBox->Label3->setText("Please input data");
  }
  CurrentCode = Functions->ShortCode();
  InputBox->ShowParameter(Functions->Text("CODE"), Functions->Text("NAME"));
  ParamValueText = Replaced(Functions->Text("NOWDATA"), StoredDecimalSeparator, separator);
  InputBox->SetHint("Hint:");
  if (State.CommonParamEdit) {
    State.CommonParamEdit = false;
    return;
  }
  Dialogs::ExecModal(InputBox);
}

void TForm1::ReadParameterReply() {
  const auto &bytes = State.ReplyBytes;
  const std::uint16_t value = static_cast<std::uint16_t>(bytes[3] * 256 + bytes[4]);
  // Reading back after write all: the value is compared, never stored, so
  // that the table keeps what was meant to be written.
  if (WriteCheck.ReadingBack() && State.ReadAllActive) {
    WriteCheck.ReadBack(value);
    return;
  }
  if (value == NotAllowedValue) {
    InputBox->SetHint("Hint: This parameter is not allowed to read!");
    if (State.ReadAllActive) {
      EndReadAll();
      Dialogs::ShowMessage("Warning! Inverter is in fault status!");
    }
    return;
  }
  const std::uint16_t reg = static_cast<std::uint16_t>(HexToInt(State.LastSentFrame.substr(4, 4)));
  const int decimals = IsRm40Selected() ? DecimalScaling::RegisterDecimals(reg) : 0;
  LoadDecimalSeparator();
  const QString text =
      QString::fromStdString(DecimalScaling::FormatRegisterValue(value, decimals, LocaleDecimalSeparator));
  InputBox->UreadFunc->setText(text);

  // The record concerned: the one read all stands on, the grid's current one
  // on the parameter tab, or the common parameter whose window asked.
  const bool controlTab = ActiveTab() == ControlTab;
  const int remembered = Functions->CurrentRecord();
  if (!State.ReadAllActive && controlTab)
    Functions->MoveTo(CommonParamRow);
  if (controlTab)
    ShowInCommonBox(*this, Functions->Text("CODE"), text);
  if (PostsInBatches()) {
    Functions->KeepValues(text, text);
  } else {
    Functions->StoreValues(text, text);
    Functions->Reopen(remembered);
  }

  if (!State.ReadAllActive)
    InputBox->SetHint("Hint: Read successfully!");
}

// Each reply of a run at line rate would otherwise rewrite and reread the
// whole table; the run writes what it kept at most every 200 ms and at its end.
bool TForm1::PostsInBatches() const {
  return (State.ReadAllActive || State.WriteAllActive) && Engine->CompleteOnReply();
}

void TForm1::ModifyParameterReply() {
  if (WriteCheck.Active())
    WriteCheck.Confirmed();
  const int tab = ActiveTab();
  const QString written = InputBox->UmodifyFunc->text();
  if (tab == ParameterTab || (tab == ControlTab && State.WriteAllActive)) {
    const int remembered = Functions->CurrentRecord();
    const bool batched = PostsInBatches();
    if (batched) {
      Functions->KeepValues(Functions->Text("NOWDATA"), Functions->Text("NOWDATA"));
    } else if (State.WriteAllActive) {
      Functions->StoreValues(Functions->Text("NOWDATA"), Functions->Text("NOWDATA"));
      if (Functions->RecordCount() == State.WriteAllIndex)
        State.WriteAllActive = false;
    } else {
      Functions->StoreValues(written, written);
      InputBox->SetHint("Hint: Modify successfully!");
    }
    const QString code = Functions->Text("CODE");
    if (!batched)
      Functions->Reopen(remembered);
    if (IsRm40Selected())
      ShowInCommonBox(*this, code, written);
  } else if (tab == ControlTab) {
    // The window was opened for a common parameter.
    Functions->MoveTo(CommonParamRow);
    InputBox->SetHint("Hint: Modify successfully!");
    if (IsRm40Selected())
      ShowInCommonBox(*this, Functions->Text("CODE"), written);
    Functions->StoreValues(written, written);
    Functions->Reopen(-1, false);
  }
}
