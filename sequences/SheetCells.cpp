#include "sequences/SheetCells.h"

#include <cmath>

CellWindow::CellWindow(int rowCount, int columnCount)
    : columnCount_(columnCount), table_(rowCount, QStringList(QList<QString>(columnCount))) {}

void CellWindow::Put(int row, int column, const QString &text) {
  if (row >= 0 && row < table_.size() && column >= 0 && column < columnCount_)
    table_[row][column] = text;
}

QString NumberText(double value, const QString &decimalSeparator) {
  if (!std::isfinite(value))
    return QString();
  QString text = QString::number(value, 'g', 15);
  text.replace(QLatin1Char('.'), decimalSeparator);
  return text;
}
