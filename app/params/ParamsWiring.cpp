// Connects the controls of the function-table subsystem (and the common
// parameter boxes of the control tab) to their handlers.
#include "app/MainWindow.h"
#include "app/params/CurrentRowDelegate.h"
#include "app/params/GridCurrentRecord.h"
#include "session/FunctionTable.h"
#include "session/ParameterRuns.h"
#include "settings/TableStore.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QPushButton>
#include <QTableView>
#include <QWheelEvent>

namespace {
// Leaving the series selector reloads the function table; the wheel over
// the grid moves the current record by one and scrolls nothing.
class TParamsEventFilter : public QObject {
public:
  explicit TParamsEventFilter(TForm1 *form) : QObject(form), form_(form) {}

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (watched == form_->DriveSeries && event->type() == QEvent::FocusOut) {
      // Opening the drop-down list is not leaving the selector.
      if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
        form_->DriveSeriesExit();
    } else if (watched == form_->DBGrid1->viewport() && event->type() == QEvent::Wheel) {
      const QPoint delta = static_cast<QWheelEvent *>(event)->angleDelta();
      if (delta.y() != 0)
        form_->WheelStep(delta.y());
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

private:
  TForm1 *form_;
};
} // namespace

void TForm1::WireParams() {
  auto *filter = new TParamsEventFilter(this);
  DriveSeries->installEventFilter(filter);
  DBGrid1->viewport()->installEventFilter(filter);
  connect(DriveSeries, &QComboBox::activated, this, [this] { DriveSeriesChange(); });

  // Every open of the function table shows all columns again; a series
  // table keeps WRITEABLE out of the grid.
  connect(Functions, &FunctionTable::Opened, this, [this](bool hideWriteable) {
    if (hideWriteable)
      ADOQuery1->SetColumnVisible("WRITEABLE", false);
  });
  WireParameterRuns();
  // Values change only through the parameter window and read/write all.
  DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGrid1->setItemDelegate(new TCurrentRowDelegate(DBGrid1));
  // The press of a click moves the record before the release opens the
  // parameter window, so the window works on the clicked record.
  auto *currentRecord = new TGridCurrentRecord(DBGrid1, DataSource1);
  // ten times a second, as the window is painted, while read all or write
  // all runs at line rate
  currentRecord->PaceWhile([this] { return Runs->PostsInBatches(); }, 100);
  connect(DBGrid1, &QTableView::clicked, this,
          [this](const QModelIndex &i) { DBGrid1CellClick(i.column()); });
  connect(DBGrid1, &QTableView::doubleClicked, this,
          [this](const QModelIndex &i) { DBGrid1DblClick(i.column()); });

  connect(ReadAll, &QPushButton::clicked, this, [this] { ReadAllClick(); });
  connect(WriteAll, &QPushButton::clicked, this, [this] { WriteAllClick(); });
  WireParameterSets();
  connect(ImportFunctions1, &QAction::triggered, this, [this] { ImportFunctions1Click(); });
  connect(ExportFunctions1, &QAction::triggered, this, [this] { ExportFunctions1Click(); });

  connect(Edit9, &TClickEdit::clicked, this, [this] { Edit9Click(); });
  connect(Edit10, &TClickEdit::clicked, this, [this] { Edit10Click(); });
  connect(Edit11, &TClickEdit::clicked, this, [this] { Edit11Click(); });
  connect(Edit12, &TClickEdit::clicked, this, [this] { Edit12Click(); });
  connect(Edit13, &TClickEdit::clicked, this, [this] { Edit13Click(); });
  connect(Edit14, &TClickEdit::clicked, this, [this] { Edit14Click(); });
}
