// "&Import User's Define" and "&Export User's Define": the command list in a
// spreadsheet workbook, grid row r in sheet row r + 1, six text columns.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "protocol/HexText.h"
#include "sequences/SequenceRequest.h"
#include "sequences/WorkbookExport.h"
#include "sequences/WorkbookImport.h"

#include <QFileInfo>
#include <QSignalBlocker>
#include <QTableWidget>

namespace {

// Rows 0 to 200 of the sheet's first six columns are taken.
constexpr int ImportedRows = 201;

TextTable GridTexts(const QTableWidget *grid) {
  TextTable rows;
  for (int row = 0; row < grid->rowCount(); ++row) {
    QStringList cells;
    for (int column = 0; column < grid->columnCount(); ++column) {
      const QTableWidgetItem *cell = grid->item(row, column);
      cells << (cell ? cell->text() : QString());
    }
    rows << cells;
  }
  return rows;
}

} // namespace

void TForm1::ImportClick() {
  const QString path = Dialogs::GetOpenFileName(QStringLiteral("Import User's Define"),
                                                QStringLiteral("Excel files (*.xls;*.xlsx)|*.xls;*.xlsx"));
  if (path.isEmpty())
    return;
  LoadDecimalSeparator();
  const std::optional<TextTable> sheet =
      ReadWorkbook(path, ImportedRows, CommandColumn::Count, QString::fromStdString(LocaleDecimalSeparator));
  if (!sheet) {
    Dialogs::ShowError(path + QStringLiteral(" not  found!"));
    return;
  }

  // The grid grows to show every imported command; it never shrinks.
  int lastFilled = 0;
  for (int row = 0; row < sheet->size(); ++row)
    for (const QString &text : sheet->at(row))
      if (!text.isEmpty())
        lastFilled = row;
  if (lastFilled >= StringGrid1->rowCount()) {
    const QSignalBlocker blocker(StringGrid1);
    StringGrid1->setRowCount(lastFilled + 1);
  }
  for (int row = 0; row < sheet->size() && row < StringGrid1->rowCount(); ++row)
    for (int column = 0; column < CommandColumn::Count; ++column)
      SetGridText(row, column, sheet->at(row).value(column));
}

void TForm1::Export1Click() { ExportGridsToWorkbook({StringGrid1}); }

bool TForm1::ExportGridsToWorkbook(const QList<QTableWidget *> &grids) {
  QString path = Dialogs::GetSaveFileName(QStringLiteral("Export User's Define"), QString(),
                                          QStringLiteral("Excel File(*.xlsx)|*.xlsx"));
  if (path.isEmpty())
    return true;
  // The question is asked about the file that will be written.
  path = WithWorkbookExtension(path);
  if (QFileInfo::exists(path) &&
      !Dialogs::YesNo(QStringLiteral("Question"),
                      QStringLiteral("Are you sure to verride existing file") + QChar(0xFF1F)))
    return false;

  QList<WorkbookSheet> sheets;
  for (const QTableWidget *grid : grids)
    sheets.append({grid->objectName(), GridTexts(grid)});
  if (!WriteWorkbook(path, sheets)) {
    Dialogs::ShowMessage(path + QStringLiteral(" could not be saved!"));
    return false;
  }
  return true;
}
