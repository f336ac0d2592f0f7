// What the window shows of each exchange's outcome: the lamps, the parameter
// window's hint, the sequence's reply column and its stop conditions, and
// the consumer of an accepted reply.
#include "app/MainWindow.h"

#include "app/params/TInputBox.h"
#include "log/HistoryText.h"
#include "protocol/ReplyCheck.h"
#include "settings/TableStore.h"

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

int TForm1::ParameterRecordCount() const { return ADOQuery1 ? ADOQuery1->RecordCount() : 0; }

void TForm1::ShowAcceptedReply() { UcomShape->SetBrushColor(LampColor::Off); }

void TForm1::DispatchReply(ReplyConsumer consumer) {
  switch (consumer) {
  case ReplyConsumer::ReadParameter:
    ReadParameterReply();
    break;
  case ReplyConsumer::DriveStatus: // read by the drive status model as the exchange ends
    break;
  case ReplyConsumer::ModifyParameter:
    ModifyParameterReply();
    break;
  case ReplyConsumer::ControlLamps:
    ShowControlLamps();
    break;
  case ReplyConsumer::None:
    break;
  }
}

void TForm1::ShowRejectedReply(const QString &replyText, bool sequenceStep) {
  // A value the drive will not take: write all with verification lists it
  // and does not ask again.
  if (WriteCheck.Active() && IsExceptionReply(State.ReplyBody, State.LastSentFrame, 3))
    WriteCheck.Refused();
  if (InputBox)
    InputBox->InputboxHint->setText("Hint: Error!   Please check!");
  // into the row the request was built from, not the next one to search
  if (sequenceStep)
    WriteSequenceReply(replyText);
  SetLamps(LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off,
           LampColor::Red);
  if (UErrorCheck->isChecked() && SequenceShown())
    UdefStopClick();
}

void TForm1::ShowMissingReply(bool sequenceStep) {
  SetLamps(LampColor::Off, LampColor::Olive, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Off,
           LampColor::Red);
  // The step's row shows that it got nothing, as it shows an error reply.
  if (sequenceStep)
    WriteSequenceReply(HistoryText::NoResponseWords());
  if (SequenceShown() && UTimeoutCheck->isChecked() && sequenceStep)
    UdefStopClick();
}
