// The "Period Scan" group: polls the status block of a range or a list of
// drives, one request per scan period, from the send timer's tick.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/drive/InputFilters.h"
#include "app/drive/TUmotorPara.h"
#include "drive/RequestBodies.h"
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
  const ScanList::ListCheck result =
      ScanList::ParseList(form.ArbitraryNum->text().toStdString(), form.State.ArbitraryList);
  if (result.parsed) {
    form.State.ArbitraryListParsed = true;
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
  const bool scanning = UPeriodScan->text() != "Scan";
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
    State.ScanStarting = false;
    State.ScanRunning = false;
    State.IntervalTicks = 0;
    // The history of a scan at line rate goes into the pane in batches: on
    // pausing, the user sees every exchange so far at once.
    ShowWaitingHistory();
    return;
  }
  State.ScanAddress = 0;
  State.ArbitraryIndex = 0;
  State.ScanStarting = true;
  State.ScanRunning = true;
}

// A scan whose fields name no drive would have nothing to poll: it is
// refused with the message of the field at fault.
bool TForm1::ScanFieldsHoldAddresses() {
  if (ArbitraryType->isChecked())
    return CheckArbitraryList(*this);
  return CheckRangeField(SeriesStart) && CheckRangeField(SeriesStop);
}

namespace {
// A scan may follow the line's own pace once replies end their exchange at
// their last byte; "0" then means the next drive at once.
int ShortestScanPeriodMs(const TExchangeEngine &engine) {
  return engine.CompleteOnReply() ? 0 : ScanList::ShortestPeriodMs;
}
} // namespace

bool TForm1::ScanPeriodExit() {
  int period = 0;
  const int shortest = ShortestScanPeriodMs(*Engine);
  const FieldCheck check = ScanList::CheckPeriod(ScanPeriod->text().toStdString(), period, shortest);
  if (!check.Ok()) {
    InputFilters::RefuseField(ScanPeriod, check);
    return false;
  }
  State.ScanPeriodMs = period;
  return true;
}

void TForm1::SeriesStartExit() { CheckRangeField(SeriesStart); }

void TForm1::SeriesStopExit() { CheckRangeField(SeriesStop); }

void TForm1::ArbitraryNumExit() { CheckArbitraryList(*this); }

void TForm1::SeriesScanStep() {
  if (State.ScanStarting)
    ScanList::BeginSeries(State, StrToInt(SeriesStart->text().toStdString()),
                          StrToInt(SeriesStop->text().toStdString()));
  SendScanRequest(ScanList::NextSeriesAddress(State));
}

// The list is parsed again at the first step after "Scan" unless the field
// was left (and so checked) since the previous step.
void TForm1::ArbitraryScanStep() {
  if (!State.ArbitraryListParsed && State.ArbitraryIndex == 0)
    ArbitraryNumExit();
  State.ArbitraryListParsed = false;
  SendScanRequest(ScanList::NextListAddress(State));
}

bool TForm1::ScanAddressReady() {
  // Every request reads the drive address box; while it holds no number the
  // scan waits instead of raising the same error at every step, and the user
  // is told once, so that the box never stands between the user and Pause.
  try {
    StrToInt(MachineID->currentText().toStdString());
  } catch (const EConvertError &error) {
    if (!State.ScanAddressRefused) {
      State.ScanAddressRefused = true;
      Dialogs::ShowError(QString::fromLocal8Bit(error.what()));
    }
    return false;
  }
  State.ScanAddressRefused = false;
  return true;
}

void TForm1::SendScanRequest(int address) {
  if (address < ScanList::LowestAddress || address > ScanList::HighestAddress)
    return;
  SendFrame(RequestBodies::Status(address));
}

void TForm1::UmotorScanClick() {
  if (!UmotorPara)
    return;
  UmotorPara->show();
  UmotorPara->raise();
  UmotorPara->activateWindow();
}

void TForm1::ShowScanPeriodRange() {
  ScanPeriodRange->setText(QStringLiteral("(Range: %1----%2 ms)")
                               .arg(ShortestScanPeriodMs(*Engine))
                               .arg(ScanList::LongestPeriodMs));
}
