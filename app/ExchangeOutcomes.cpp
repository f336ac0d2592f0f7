// What the window shows of each exchange's outcome: the lamps, the parameter
// window's hint, the sequence's stop conditions, and the consumer of an
// accepted reply.
#include "app/MainWindow.h"

#include "app/params/TInputBox.h"
#include "protocol/ReplyCheck.h"

#include <QCheckBox>
#include <QLabel>

void TForm1::SetLamps(int run, int stop, int fwd, int rev, int jog, int fault, int com) {
  UrunShape->SetBrushColor(run);
  UstopShape->SetBrushColor(stop);
  UfwdShape->SetBrushColor(fwd);
  UrevShape->SetBrushColor(rev);
  UjogShape->SetBrushColor(jog);
  UfaultShape->SetBrushColor(fault);
  UcomShape->SetBrushColor(com);
}

void TForm1::ShowAcceptedReply() { UcomShape->SetBrushColor(LampColor::Off); }

void TForm1::DispatchReply(ReplyConsumer consumer) {
  switch (consumer) {
  case ReplyConsumer::DriveStatus: // read by the drive status model as the exchange ends
    break;
  case ReplyConsumer::ControlLamps:
    ShowControlLamps();
    break;
  case ReplyConsumer::ReadParameter:
  case ReplyConsumer::ModifyParameter: // the parameter runs take them (session/ParameterRuns)
  case ReplyConsumer::None:
    break;
  }
}

void TForm1::ShowRejectedReply(const QString &, bool) {
  if (InputBox)
    InputBox->InputboxHint->setText("Hint: Error!   Please check!");
  SetLamps(LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off,
           LampColor::Red);
  if (UErrorCheck->isChecked() && SequenceShown())
    UdefStopClick();
}

void TForm1::ShowMissingReply(bool sequenceStep) {
  SetLamps(LampColor::Off, LampColor::Olive, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off,
           LampColor::Red);
  if (SequenceShown() && UTimeoutCheck->isChecked() && sequenceStep)
    UdefStopClick();
}
