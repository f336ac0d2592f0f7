// The per-drive counts of the motor status table, kept from what the history
// pane is told and cleared when a scan starts.
#include "drive/DriveCountsWiring.h"
#include "app/MainWindow.h"
#include "drive/DriveExchangeCounts.h"
#include "drive/TUmotorPara.h"

#include <QPushButton>
#include <memory>

namespace {
void ShowCounts(int address, const DriveExchangeCounts::Counts &counts) {
  if (!UmotorPara || address < 1 || address >= TUmotorPara::RowCount)
    return;
  UmotorPara->SetCell(address, TUmotorPara::RequestsColumn, QString::number(counts.requests));
  UmotorPara->SetCell(address, TUmotorPara::AcceptedColumn, QString::number(counts.accepted));
  UmotorPara->SetCell(address, TUmotorPara::ErrorsColumn, QString::number(counts.errors));
  UmotorPara->SetCell(address, TUmotorPara::TimeoutsColumn, QString::number(counts.timeouts));
}

void ClearShownCounts() {
  if (!UmotorPara)
    return;
  for (int row = 1; row < TUmotorPara::RowCount; ++row)
    for (int column = TUmotorPara::RequestsColumn; column <= TUmotorPara::TimeoutsColumn; ++column)
      if (!UmotorPara->Cell(row, column).isEmpty())
        UmotorPara->SetCell(row, column, QString());
}
} // namespace

void WireDriveCounts(TForm1 *form) {
  auto counts = std::make_shared<DriveExchangeCounts>();
  QObject::connect(form->Engine, &TExchangeEngine::RequestLogged, form, [form, counts](const QString &, bool awaitsReply) {
    if (!awaitsReply)
      return;
    bool hex = false;
    const int address = QString::fromStdString(form->State.LastSentFrame.substr(0, 2)).toInt(&hex, 16);
    if (!hex)
      return;
    counts->RequestSent(address);
    ShowCounts(address, counts->Of(address));
  });
  QObject::connect(form, &TForm1::LineCompleted, form, [counts](const QString &suffix, bool accepted) {
    using Ending = DriveExchangeCounts::Ending;
    const Ending ending = accepted                                     ? Ending::Accepted
                          : suffix.startsWith("  -----> No response!") ? Ending::Timeout
                                                                       : Ending::Error;
    const int address = counts->RequestEnded(ending);
    ShowCounts(address, counts->Of(address));
  });
  // runs after the scan button's own handler, which connected first
  QObject::connect(form->UPeriodScan, &QPushButton::clicked, form, [form, counts] {
    if (!form->State.ScanRunning)
      return;
    counts->Clear();
    ClearShownCounts();
  });
}
