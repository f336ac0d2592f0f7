#pragma once

#include "sequences/TextTable.h"

#include <QString>

// The cells read so far, limited to the window the caller asked for.
class CellWindow {
public:
  CellWindow(int rowCount, int columnCount);
  // Cells outside the window are left out.
  void Put(int row, int column, const QString &text);
  TextTable Take() { return std::move(table_); }

private:
  int columnCount_;
  TextTable table_;
};

// A number as a spreadsheet shows it by default: at most 15 significant
// digits, so 0.30000000000000004 reads 0.3 and 150 stays 150; the point
// replaced by decimalSeparator. Not a number or infinite: an empty text.
QString NumberText(double value, const QString &decimalSeparator);
