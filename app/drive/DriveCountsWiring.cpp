// The per-drive counts of the motor status table, kept from the exchanges the
// engine tells and cleared when a scan starts. While replies are handled as
// soon as they are complete they are shown when the pane takes its waiting
// lines: four cells changed at every exchange cost more than the exchange.
#include "app/drive/DriveCountsWiring.h"
#include "app/MainWindow.h"
#include "app/drive/TUmotorPara.h"
#include "drive/DriveExchangeCounts.h"

#include <QPushButton>
#include <QTimer>
#include <memory>
#include <set>

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

// The counts as they are and the addresses whose counts the table does not
// show yet.
struct ShownCounts {
  DriveExchangeCounts counts;
  std::set<int> unshown;

  // While the pane gathers lines to show them together, the counts wait for
  // it; when it showed them at once (or has none waiting) they show now.
  void Changed(const TForm1 &form, int address) {
    if (form.Engine->CompleteOnReply() && form.HistoryTimer && form.HistoryTimer->isActive())
      unshown.insert(address);
    else
      ShowCounts(address, counts.Of(address));
  }
  void ShowUnshown() {
    for (const int address : unshown)
      ShowCounts(address, counts.Of(address));
    unshown.clear();
  }
};
} // namespace

void WireDriveCounts(TForm1 *form) {
  auto shown = std::make_shared<ShownCounts>();
  QObject::connect(form->Engine->Journal, &ExchangeJournal::Started, form,
                   [form, shown](const ExchangeRecord &record) {
                     if (record.address < 0)
                       return;
                     shown->counts.RequestSent(record.address);
                     shown->Changed(*form, record.address);
                   });
  QObject::connect(form->Engine->Journal, &ExchangeJournal::Ended, form,
                   [form, shown](const ExchangeRecord &record) {
                     using Ending = DriveExchangeCounts::Ending;
                     using Outcome = ExchangeRecord::Outcome;
                     if (record.outcome != Outcome::Accepted && record.outcome != Outcome::ErrorReply &&
                         record.outcome != Outcome::NoResponse)
                       return;
                     const Ending ending = record.outcome == Outcome::Accepted     ? Ending::Accepted
                                           : record.outcome == Outcome::NoResponse ? Ending::Timeout
                                                                                   : Ending::Error;
                     shown->Changed(*form, shown->counts.RequestEnded(ending));
                   });
  QObject::connect(form, &TForm1::WaitingHistoryShown, form, [shown] { shown->ShowUnshown(); });
  // runs after the scan button's own handler, which connected first
  QObject::connect(form->UPeriodScan, &QPushButton::clicked, form, [form, shown] {
    if (!form->State.ScanRunning)
      return;
    shown->counts.Clear();
    shown->unshown.clear();
    ClearShownCounts();
  });
}
