#pragma once

#include "sequences/TextTable.h"

#include <QByteArray>
#include <QString>
#include <freexl.h>
#include <optional>

// The program's own part of reading an ".xls" workbook: the walk over the
// cells that the reader library opened, their texts, and the answer the
// reading process sends back. The library stays behind BinarySheet, so this
// part is also tried without it.

// The first worksheet as the reader library gives it.
class BinarySheet {
public:
  virtual ~BinarySheet() = default;
  // False when the library refuses.
  virtual bool Dimensions(unsigned int &rows, unsigned short &columns) = 0;
  // Asked only for row < rows and column < columns. False when the library
  // refuses the cell.
  virtual bool Cell(unsigned int row, unsigned short column, FreeXL_CellValue &value) = 0;
};

// The top-left rowCount x columnCount texts of the sheet, every row
// columnCount wide; std::nullopt when the library refuses.
std::optional<TextTable> ReadSheetWindow(BinarySheet &sheet, int rowCount, int columnCount,
                                         const QString &decimalSeparator);

// What the reading process sends back: the table, or std::nullopt when the
// library refused the file.
QByteArray EncodeSheetAnswer(const std::optional<TextTable> &table);

struct SheetAnswer {
  enum Kind {
    Table,   // `table` holds the window
    Refused, // the library refused the file
    Garbled, // incomplete, malformed, or not the window asked for
  } kind = Garbled;
  TextTable table;
};

// Reads an answer of EncodeSheetAnswer for a rowCount x columnCount window;
// any other bytes are Garbled.
SheetAnswer DecodeSheetAnswer(const QByteArray &bytes, int rowCount, int columnCount);
