#pragma once

#include "sequences/TextTable.h"

#include <QString>
#include <optional>

// Reads the top-left rowCount x columnCount cells of the first sheet of a
// workbook, as texts: an Office Open XML workbook (".xlsx") or a legacy
// binary one (".xls"); the kind is told by the file's content, not its name.
// Strings come back as written, numbers as their shortest text (up to 15
// significant digits) with decimalSeparator in place of the point, empty
// cells as empty texts. Every row of the result has columnCount texts.
//
// A file that is not a readable workbook gives std::nullopt: missing,
// damaged, truncated, malformed XML, cell references outside a sheet's limits
// (1048576 rows, 16384 columns), or parts that inflate beyond a fixed cap
// (a zip bomb).
//
// An ".xls" file is read by a library in a process of its own. When that
// process dies, hangs, is caught reading past the library's buffers, reads
// the file two ways or sends back no well-formed answer, the file counts as
// damaged and nothing the library read is used; `refusal` then says so.
struct WorkbookRefusal {
  bool damaged = false;
  // How the reading went wrong ("signal 11", "it read past its buffer", ...).
  QString readerEnd;
};
std::optional<TextTable> ReadWorkbook(const QString &path, int rowCount, int columnCount,
                                      const QString &decimalSeparator = QStringLiteral("."),
                                      WorkbookRefusal *refusal = nullptr);

// The most bytes inflated from one part of an ".xlsx" file, and the largest
// ".xls" file read.
constexpr qint64 WorkbookPartLimit = 64 * 1024 * 1024;
