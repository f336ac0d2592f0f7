// The drives' status as the period scan reads it: the "Motor Status" values
// of the drive in MachineID and its lamps.
#include "app/MainWindow.h"
#include "protocol/ConvertError.h"
#include "session/DriveStatusModel.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
// A scan sets the same values many times a second; setting a box to the
// text it shows lays the text out and repaints the panel all the same.
void ShowText(QLineEdit *box, const QString &text) {
  if (box->text() != text)
    box->setText(text);
}
} // namespace

void TForm1::ShowDriveStatus() { DriveStatus->TakeReply(State.ReplyBytes.data(), State.ReplyBytes.size()); }

void TForm1::ShowDecodedStatus(const DriveStatusTexts &status) {
  if (!IsShownDrive(status.address))
    return;
  ShowText(UoutFreq, QString::fromStdString(status.frequency));
  ShowText(UoutVoltage, QString::fromStdString(status.outputVoltage));
  ShowText(UoutCurrent, QString::fromStdString(status.outputCurrent));
  ShowText(UdcVoltage, QString::fromStdString(status.dcVoltage));
  ShowText(UoutSpeed, QString::fromStdString(status.speed));
  ShowControlLamps();
  // The lamps of the last command say what the drive was told; a trip
  // overrides them: the drive has stopped and shows its fault.
  if (IsFaultCode(status.statusCode))
    SetLamps(LampColor::Off, LampColor::Olive, LampColor::Off, LampColor::Off, LampColor::Off, LampColor::Red,
             UcomShape->BrushColor());
  else
    UfaultShape->SetBrushColor(LampColor::Off);
  // "Machine Status" belongs with the values beside it: the drive in
  // MachineID, not whichever drive of a scan answered last.
  ShowText(machinestate, QString::fromStdString(status.machineStatus));
}

bool TForm1::IsShownDrive(int address) const {
  int shownDrive = -1;
  return TryStrToInt(MachineID->currentText().toStdString(), shownDrive) && shownDrive == address;
}
