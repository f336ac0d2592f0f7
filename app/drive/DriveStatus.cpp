// Status replies of the period scan: the "Motor Status" values of the drive in
// MachineID and the rows of the motor status table.
#include "app/MainWindow.h"
#include "app/drive/TUmotorPara.h"
#include "drive/StatusDecoding.h"
#include "protocol/ConvertError.h"
#include "protocol/HexText.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
bool IsTableRow(int address) { return address >= 1 && address < TUmotorPara::RowCount; }

// A scan sets the same values many times a second; setting a box to the
// text it shows lays the text out and repaints the panel all the same.
void ShowText(QLineEdit *box, const QString &text) {
  if (box->text() != text)
    box->setText(text);
}
} // namespace

void TForm1::ShowDriveStatus() {
  if (DriveSeries->currentIndex() < 0)
    return;
  // A reply that does not carry the whole block would be decoded from the
  // bytes of an older reply.
  if (State.ReplyBytes[2] < StatusBlockByteCount)
    return;
  DecodeDriveStatus();
}

void TForm1::DecodeDriveStatus() {
  const DriveStatusTexts status = DecodeStatusReply(State.ReplyBytes.data(), LocaleDecimalSeparator);

  if (IsShownDrive(status.address)) {
    ShowText(UoutFreq, QString::fromStdString(status.frequency));
    ShowText(UoutVoltage, QString::fromStdString(status.outputVoltage));
    ShowText(UoutCurrent, QString::fromStdString(status.outputCurrent));
    ShowText(UdcVoltage, QString::fromStdString(status.dcVoltage));
    ShowText(UoutSpeed, QString::fromStdString(status.speed));
    ShowControlLamps();
    // The lamps of the last command say what the drive was told; a trip
    // overrides them: the drive has stopped and shows its fault.
    if (IsFaultCode(status.statusCode))
      SetLamps(LampColor::Off, LampColor::Olive, LampColor::Off, LampColor::Off, LampColor::Off,
               LampColor::Red, UcomShape->BrushColor());
    else
      UfaultShape->SetBrushColor(LampColor::Off);
  }

  if (UmotorPara && IsTableRow(status.address)) {
    const int row = status.address;
    UmotorPara->SetCell(row, TUmotorPara::FrequencyColumn, QString::fromStdString(status.frequency));
    UmotorPara->SetCell(row, TUmotorPara::OutputVoltageColumn, QString::fromStdString(status.outputVoltage));
    UmotorPara->SetCell(row, TUmotorPara::OutputCurrentColumn, QString::fromStdString(status.outputCurrent));
    UmotorPara->SetCell(row, TUmotorPara::SpeedColumn, QString::fromStdString(status.speed));
    UmotorPara->SetCell(row, TUmotorPara::DcVoltageColumn, QString::fromStdString(status.dcVoltage));
  }
  ShowMachineStatus();
  emit DriveStatusDecoded(DecodeStatusValues(State.ReplyBytes.data()));
}

// "Machine Status" belongs with the values beside it: the drive in
// MachineID, not whichever drive of a scan answered last.
void TForm1::ShowMachineStatus() {
  const int address = State.ReplyBytes[0];
  const QString name = QString::fromStdString(MachineStatusName(State.ReplyBytes[14]));
  if (UmotorPara && IsTableRow(address))
    UmotorPara->SetCell(address, TUmotorPara::MachineStatusColumn, name);
  if (IsShownDrive(address))
    ShowText(machinestate, name);
}

bool TForm1::IsShownDrive(int address) const {
  int shownDrive = -1;
  return TryStrToInt(MachineID->currentText().toStdString(), shownDrive) && shownDrive == address;
}
