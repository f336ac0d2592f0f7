// Status replies of the period scan: the "Motor Status" values of the drive in
// MachineID and the rows of the motor status table.
#include "app/MainWindow.h"
#include "drive/StatusDecoding.h"
#include "drive/TUmotorPara.h"
#include "protocol/ConvertError.h"
#include "protocol/HexText.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
bool IsTableRow(int address) { return address >= 1 && address < TUmotorPara::RowCount; }
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

  int shownDrive = -1;
  if (TryStrToInt(MachineID->currentText().toStdString(), shownDrive) && shownDrive == status.address) {
    UoutFreq->setText(QString::fromStdString(status.frequency));
    UoutVoltage->setText(QString::fromStdString(status.outputVoltage));
    UoutCurrent->setText(QString::fromStdString(status.outputCurrent));
    UdcVoltage->setText(QString::fromStdString(status.dcVoltage));
    UoutSpeed->setText(QString::fromStdString(status.speed));
    ShowControlLamps();
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

void TForm1::ShowMachineStatus() {
  const int address = State.ReplyBytes[0];
  const QString name = QString::fromStdString(MachineStatusName(State.ReplyBytes[14]));
  if (UmotorPara && IsTableRow(address)) {
    UmotorPara->SetCell(address, TUmotorPara::MachineStatusColumn, name);
    machinestate->setText(UmotorPara->Cell(address, TUmotorPara::MachineStatusColumn));
  } else {
    machinestate->setText(name);
  }
}
