#include "sequences/BinarySheet.h"

#include "sequences/SheetCells.h"

#include <QDataStream>
#include <QIODevice>

namespace {

// The answer's first byte.
constexpr quint8 TableMark = 'T';
constexpr quint8 RefusedMark = 'R';

QString CellText(const FreeXL_CellValue &value, const QString &decimalSeparator) {
  switch (value.type) {
  case FREEXL_CELL_INT:
    return QString::number(value.value.int_value);
  case FREEXL_CELL_DOUBLE:
    return NumberText(value.value.double_value, decimalSeparator);
  case FREEXL_CELL_TEXT:
  case FREEXL_CELL_SST_TEXT:
  case FREEXL_CELL_DATE:
  case FREEXL_CELL_DATETIME:
  case FREEXL_CELL_TIME:
    return QString::fromUtf8(value.value.text_value);
  default:
    return QString();
  }
}

} // namespace

std::optional<TextTable> ReadSheetWindow(BinarySheet &sheet, int rowCount, int columnCount,
                                         const QString &decimalSeparator) {
  unsigned int rows = 0;
  unsigned short columns = 0;
  if (rowCount < 0 || columnCount < 0 || !sheet.Dimensions(rows, columns))
    return std::nullopt;
  CellWindow cells(rowCount, columnCount);
  for (unsigned int row = 0; row < rows && row < static_cast<unsigned int>(rowCount); ++row) {
    for (unsigned short column = 0; column < columns && column < columnCount; ++column) {
      FreeXL_CellValue value;
      if (!sheet.Cell(row, column, value))
        return std::nullopt;
      cells.Put(static_cast<int>(row), column, CellText(value, decimalSeparator));
    }
  }
  return cells.Take();
}

QByteArray EncodeSheetAnswer(const std::optional<TextTable> &table) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out << (table ? TableMark : RefusedMark);
  if (table)
    for (const QStringList &row : *table)
      for (const QString &text : row)
        out << text;
  return bytes;
}

// The cells come row by row without counts: a count read from a garbled
// answer would size the table before a byte of it is there.
SheetAnswer DecodeSheetAnswer(const QByteArray &bytes, int rowCount, int columnCount) {
  QDataStream in(bytes);
  quint8 mark = 0;
  in >> mark;
  SheetAnswer answer;
  if (in.status() != QDataStream::Ok || rowCount < 0 || columnCount < 0)
    return answer;
  if (mark == RefusedMark) {
    if (in.atEnd())
      answer.kind = SheetAnswer::Refused;
    return answer;
  }
  if (mark != TableMark)
    return answer;
  TextTable table;
  for (int row = 0; row < rowCount; ++row) {
    QStringList texts;
    for (int column = 0; column < columnCount; ++column) {
      QString text;
      in >> text;
      if (in.status() != QDataStream::Ok)
        return answer;
      texts << text;
    }
    table << texts;
  }
  if (!in.atEnd())
    return answer;
  answer.kind = SheetAnswer::Table;
  answer.table = std::move(table);
  return answer;
}
