#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Comparing the values of a function table with its defaults or with the
// values of another function table file, parameter by parameter matched by
// CODE. Knows the table store, not the windows.
namespace ParameterCompare {

// A named record of a function table file, texts as stored.
struct Record {
  QString code, name, min, max, defaultValue, nowData;
  bool writeable = true; // WRITEABLE: written by write all (true when the table has no such column)
};

// The named records of the function table `file` in `folder`, in CODE order.
// Raises ETableStoreError when the file cannot be read as a function table.
std::vector<Record> ReadTable(const QString &folder, const QString &file);

enum class Kind {
  Same,
  Differs,
  OnlyHere,  // the other set has no such CODE
  OnlyThere, // the open table has no such CODE
  Reserved,  // NAME "Reserved": never read or written
  ReadOnly   // range "--": the drive's own value, never written
};

struct Row {
  QString code, name;
  QString here, there; // both in the parameter's decimals
  QString min, max;
  Kind kind = Kind::Same;
};

// Decimals of a code ("F113" -> 2); a negative number compares the values
// as they are written.
using DecimalsOf = std::function<int(const QString &code)>;

// NOWDATA of each record against its own DEFAULT.
std::vector<Row> WithDefaults(const std::vector<Record> &table, const DecimalsOf &decimals,
                              const QString &separator);
// NOWDATA of each record against the NOWDATA of the record with the same
// CODE in `other`, wherever it stands there; codes of either side alone are
// listed too, in CODE order.
std::vector<Row> WithSet(const std::vector<Record> &table, const std::vector<Record> &other,
                         const DecimalsOf &decimals, const QString &separator);

bool IsDifference(Kind kind); // differs, or on one side only
QString KindText(Kind kind);

struct Counts {
  int same = 0, differs = 0, oneSide = 0, reserved = 0, readOnly = 0;
};
Counts Count(const std::vector<Row> &rows);
// "3 differ, 1 on one side only, 270 same; 12 "Reserved" and 2 read-only (--) not compared"
QString Summary(const Counts &counts);

// The rows as comma-separated values with a title line; a field holding a
// comma, a quote, a line break or outer blanks is quoted, quotes doubled.
QString ToCsv(const std::vector<Row> &rows, const QString &hereTitle, const QString &thereTitle);
QString CsvField(const QString &text);

} // namespace ParameterCompare
