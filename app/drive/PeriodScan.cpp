// The "Period Scan" group: polls the status block of a range or a list of
// drives, one request per scan period, from the send timer's tick.
#include "session/PeriodScan.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/drive/InputFilters.h"
#include "app/drive/TUmotorPara.h"
#include "drive/ScanList.h"
#include "protocol/ConvertError.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace {
// Checks the list field and rebuilds the list from it; false when refused.
bool CheckArbitraryList(TForm1 &form) {
  const ScanList::ListCheck result = form.Scan->TakeList(form.ArbitraryNum->text().toStdString());
  if (result.parsed) {
    if (result.fieldText != form.ArbitraryNum->text().toStdString())
      form.ArbitraryNum->setText(QString::fromStdString(result.fieldText));
  }
  if (!result.check.Ok()) {
    InputFilters::RefuseField(form.ArbitraryNum, result.check);
    return false;
  }
  return true;
}

bool CheckRangeField(QLineEdit *field) {
  const FieldCheck check = ScanList::CheckRangeField(field->text().toStdString());
  if (check.Ok())
    return true;
  InputFilters::RefuseField(field, check);
  return false;
}
} // namespace

void TForm1::UPeriodScanClick() {
  const bool scanning = Scan->Running();
  if (!scanning && CheckBox1->isChecked()) {
    Dialogs::ShowMessage("Stop broadcast before you start refresh!");
    return;
  }
  // A refused period refuses the start, like a field that names no drive:
  // there is no good period to poll at.
  if (!scanning && (!ScanFieldsHoldAddresses() || !ScanPeriodExit()))
    return;

  UPeriodScan->setText(scanning ? "Scan" : "Pause");
  UProtocol->setEnabled(scanning);
  SeriesType->setEnabled(scanning);
  ArbitraryType->setEnabled(scanning);
  for (QLineEdit *field : {SeriesStart, SeriesStop, ArbitraryNum, ScanPeriod})
    field->setReadOnly(!scanning);
  if (scanning) {
    Scan->Pause();
    // The history of a scan at line rate goes into the pane in batches: on
    // pausing, the user sees every exchange so far at once.
    ShowWaitingHistory();
    return;
  }
  // A range is read only when it is the one scanned: the list's fields may
  // hold anything meanwhile.
  const bool series = SeriesType->isChecked();
  Scan->Start(series ? StrToInt(SeriesStart->text().toStdString()) : 0,
              series ? StrToInt(SeriesStop->text().toStdString()) : 0, Scan->PeriodMs());
}

// A scan whose fields name no drive would have nothing to poll: it is
// refused with the message of the field at fault.
bool TForm1::ScanFieldsHoldAddresses() {
  if (ArbitraryType->isChecked())
    return CheckArbitraryList(*this);
  return CheckRangeField(SeriesStart) && CheckRangeField(SeriesStop);
}

bool TForm1::ScanPeriodExit() {
  int period = 0;
  const int shortest = Scan->ShortestPeriodMs();
  const FieldCheck check = ScanList::CheckPeriod(ScanPeriod->text().toStdString(), period, shortest);
  if (!check.Ok()) {
    InputFilters::RefuseField(ScanPeriod, check);
    return false;
  }
  Scan->SetPeriodMs(period);
  return true;
}

void TForm1::SeriesStartExit() { CheckRangeField(SeriesStart); }

void TForm1::SeriesStopExit() { CheckRangeField(SeriesStop); }

void TForm1::ArbitraryNumExit() { CheckArbitraryList(*this); }

void TForm1::SeriesScanStep() { Scan->SeriesStep(); }

void TForm1::ArbitraryScanStep() { Scan->ArbitraryStep(); }

bool TForm1::ScanAddressReady() { return Scan->AddressReady(MachineID->currentText().toStdString()); }

bool TForm1::ScanAsksSeveralDrives() const { return Scan->AsksSeveralDrives(); }

void TForm1::UmotorScanClick() {
  if (!UmotorPara)
    return;
  UmotorPara->show();
  UmotorPara->raise();
  UmotorPara->activateWindow();
}

void TForm1::ShowScanPeriodRange() {
  ScanPeriodRange->setText(
      QStringLiteral("(Range: %1----%2 ms)").arg(Scan->ShortestPeriodMs()).arg(ScanList::LongestPeriodMs));
}
