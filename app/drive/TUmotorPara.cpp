#include "app/drive/TUmotorPara.h"

#include "app/Dialogs.h"
#include "drive/MotorStatusFile.h"
#include "drive/StatusDecoding.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QMenuBar>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <algorithm>

namespace {
const int ColumnWidths[TUmotorPara::GridColumnCount] = {64, 80, 79, 69,  77, 66, 74, 82,
                                                        81, 86, 67, 116, 64, 64, 64, 64};
const char *const ColumnTitles[TUmotorPara::GridColumnCount] = {
    "Address",     "Frequency",     "Output Voltage",   "Output Current", "Current Speed", "DC Voltage",
    "Current Tmp", "Backwater Tmp", "Current Humidity", "Machine Status", "Com Status",    "Remark",
    "Requests",    "Accepted",      "Errors",           "Time-outs"};
} // namespace

TUmotorPara::TUmotorPara(QWidget *parent) : QMainWindow(parent) {
  setWindowTitle("Motor Parameters Display");
  save1 = menuBar()->addAction("&Save");
  Exit1 = menuBar()->addAction("&Exit");
  connect(save1, &QAction::triggered, this, &TUmotorPara::save1Click);
  connect(Exit1, &QAction::triggered, this, &TUmotorPara::Exit1Click);

  // The title row and the address column are ordinary cells, as they are
  // saved with the rest of the table.
  StringGrid1 = new QTableWidget(RowCount, GridColumnCount, this);
  StringGrid1->horizontalHeader()->hide();
  StringGrid1->verticalHeader()->hide();
  StringGrid1->verticalHeader()->setDefaultSectionSize(RowHeight);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // A title wrapped onto a second line would not fit the row and show as
  // "Output ...": titles stay on one line and the column fits them.
  StringGrid1->setWordWrap(false);
  setCentralWidget(StringGrid1);
  FormActivate();
  resize(FitColumnsToTitles() + 40, 480);
}

bool TUmotorPara::event(QEvent *event) {
  if (event->type() == QEvent::WindowActivate)
    FormActivate();
  if (event->type() == QEvent::FontChange || event->type() == QEvent::Show)
    FitColumnsToTitles();
  return QMainWindow::event(event);
}

// The designed widths are minimums: with a larger font a title would be cut
// ("Output ..."), so its column grows to show it whole.
int TUmotorPara::FitColumnsToTitles() {
  // the width the grid's own cell drawing needs for the title, margins
  // included, plus the grid line
  QStyleOptionViewItem option;
  option.initFrom(StringGrid1);
  int width = 0;
  for (int column = 0; column < GridColumnCount; ++column) {
    const QModelIndex title = StringGrid1->model()->index(0, column);
    const int needed = StringGrid1->itemDelegate()->sizeHint(option, title).width() + 1;
    StringGrid1->setColumnWidth(column, std::max(ColumnWidths[column], needed));
    width += StringGrid1->columnWidth(column);
  }
  return width;
}

void TUmotorPara::FormActivate() {
  StringGrid1->setColumnCount(GridColumnCount);
  for (int column = 0; column < GridColumnCount; ++column)
    SetCell(0, column, ColumnTitles[column]);
  for (int row = 1; row < RowCount; ++row)
    SetCell(row, AddressColumn, QString::number(row));
}

QString TUmotorPara::Cell(int row, int column) const {
  const QTableWidgetItem *item = StringGrid1->item(row, column);
  return item ? item->text() : QString();
}

void TUmotorPara::SetCell(int row, int column, const QString &text) {
  if (QTableWidgetItem *item = StringGrid1->item(row, column))
    item->setText(text);
  else
    StringGrid1->setItem(row, column, new QTableWidgetItem(text));
}

void TUmotorPara::ShowDriveStatus(const DriveStatusTexts &status) {
  const int row = status.address;
  if (row < 1 || row >= RowCount)
    return;
  SetCell(row, FrequencyColumn, QString::fromStdString(status.frequency));
  SetCell(row, OutputVoltageColumn, QString::fromStdString(status.outputVoltage));
  SetCell(row, OutputCurrentColumn, QString::fromStdString(status.outputCurrent));
  SetCell(row, SpeedColumn, QString::fromStdString(status.speed));
  SetCell(row, DcVoltageColumn, QString::fromStdString(status.dcVoltage));
  SetCell(row, MachineStatusColumn, QString::fromStdString(status.machineStatus));
}

void TUmotorPara::save1Click() {
  std::vector<std::vector<std::string>> rows(RowCount);
  for (int row = 0; row < RowCount; ++row)
    for (int column = 0; column < ColumnCount; ++column)
      rows[static_cast<std::size_t>(row)].push_back(Cell(row, column).toStdString());
  const QString path = Dialogs::GetSaveFileName("Save Motor Status", "machine_status.txt",
                                                "text file(*.txt)|*.txt|word file(*.doc)|*.doc");
  if (path.isEmpty())
    return;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    Dialogs::ShowMessage("Cannot write " + path + ": " + file.errorString());
    return;
  }
  const std::string text = MotorStatusFileText(rows);
  if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
      !file.flush())
    Dialogs::ShowMessage("Cannot write " + path + ": " + file.errorString());
}

void TUmotorPara::Exit1Click() { close(); }
