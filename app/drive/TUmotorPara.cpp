#include "app/drive/TUmotorPara.h"

#include "app/Dialogs.h"
#include "app/ScreenFit.h"
#include "drive/MotorStatusFile.h"
#include "drive/StatusDecoding.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <algorithm>
#include <array>

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
  // A title wraps onto a second line only where the title row is made
  // high enough for it (FitColumns).
  setCentralWidget(StringGrid1);
  FormActivate();
  resize(FitColumns() + 40, 480);
  ScreenFit::KeepOnScreen(this);
}

bool TUmotorPara::event(QEvent *event) {
  if (event->type() == QEvent::WindowActivate)
    FormActivate();
  if (event->type() == QEvent::FontChange || event->type() == QEvent::Show) {
    const int width = FitColumns() + 40;
    if (event->type() == QEvent::Show && width < this->width())
      resize(width, height()); // the narrower columns of a small screen
  }
  return QMainWindow::event(event);
}

// The designed widths are minimums: with a larger font a title would be cut
// ("Output ..."), so its column grows to show it whole. Where the screen has
// no room for that, the titles take two lines and each column only the
// room of its longest word, so that the counts still show beside the
// status.
int TUmotorPara::FitColumns() {
  // the width the grid's own cell drawing needs for a text, margins
  // included, plus the grid line
  QStyleOptionViewItem option;
  option.initFrom(StringGrid1);
  option.font = StringGrid1->font();
  const auto needed = [&](const QString &text) {
    option.text = text;
    option.features = QStyleOptionViewItem::HasDisplay;
    return StringGrid1->style()
               ->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), StringGrid1)
               .width() +
           1;
  };
  std::array<int, GridColumnCount> oneLine{}, twoLines{};
  int oneLineWidth = 0, twoLinesWidth = 0;
  const int value = needed(QStringLiteral("8888.88"));
  for (int column = 0; column < GridColumnCount; ++column) {
    const QString title = Cell(0, column);
    oneLine[column] = std::max(ColumnWidths[column], needed(title));
    int word = value;
    for (const QString &part : title.split(' ', Qt::SkipEmptyParts))
      word = std::max(word, needed(part));
    twoLines[column] = std::min(oneLine[column], word);
    oneLineWidth += oneLine[column];
    twoLinesWidth += twoLines[column];
  }
  const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const int room = screen ? screen->availableGeometry().width() - 40 : oneLineWidth;
  const bool wrap = oneLineWidth > room;
  const std::array<int, GridColumnCount> &widths = wrap ? twoLines : oneLine;
  for (int column = 0; column < GridColumnCount; ++column)
    StringGrid1->setColumnWidth(column, widths[column]);
  StringGrid1->setWordWrap(wrap);
  StringGrid1->setRowHeight(0, wrap ? 2 * fontMetrics().lineSpacing() + 6 : RowHeight);
  return wrap ? twoLinesWidth : oneLineWidth;
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
