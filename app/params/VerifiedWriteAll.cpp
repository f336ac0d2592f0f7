#include "app/params/VerifiedWriteAll.h"

#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/params/TInputBox.h"
#include "params/ParameterCodes.h"
#include "params/ParameterRange.h"
#include "protocol/HexText.h"
#include "session/FunctionTable.h"

#include <QCheckBox>
#include <QLineEdit>

namespace VerifiedWriteAll {

bool MayWrite(TForm1 &form, const QString &code, const QString &stored) {
  const QString min = form.Functions->Text("MIN");
  const QString max = form.Functions->Text("MAX");
  switch (ParameterRange::Check(stored, min, max)) {
  case ParameterRange::Verdict::ReadOnly:
    form.WriteCheck.Skipped(code, "read-only");
    return false;
  case ParameterRange::Verdict::Outside:
    form.WriteCheck.Skipped(code, stored + " outside " + min + "----" + max);
    return false;
  case ParameterRange::Verdict::NotANumber: // the write reports it as it always has
  case ParameterRange::Verdict::Inside:
    break;
  }
  return true;
}

void NoteWrite(TForm1 &form, const QString &code) {
  const std::string &frame = form.ModifyFrame;
  const auto raw = static_cast<std::uint16_t>(HexToInt(frame.substr(frame.size() - 4)));
  const int decimals = form.IsRm40Selected() ? DecimalPlaces(code.mid(1).toStdString()) : 0;
  form.WriteCheck.Writing(code, raw, InputBox->UmodifyFunc->text(), decimals);
}

void StartReadBack(TForm1 &form) {
  form.WriteCheck.StartReadBack();
  // The read all steps carry the reads; the write all button still cancels.
  form.State.WriteAllActive = false;
  form.State.WriteAllIndex = 0;
  form.State.ReadAllActive = true;
  form.State.ReadAllIndex = 0;
}

} // namespace VerifiedWriteAll

void TForm1::ReadBackStep() {
  const bool again = WriteCheck.ReadAwaited() && !CheckBox2->isChecked();
  const QString code = WriteCheck.NextToRead(again);
  if (code.isEmpty()) {
    const QString report = WriteCheck.Report(LocaleDecimalSeparator);
    StepBoxShowing = true;
    Dialogs::ShowMessage(report);
    StepBoxShowing = false;
    EndWriteAll();
    return;
  }
  // The grid follows the parameter read, as it follows read all.
  Functions->MoveTo(Functions->FindCode(code, -1));
  CurrentCode = code.mid(1);
  InputBox->Button4Click();
}
