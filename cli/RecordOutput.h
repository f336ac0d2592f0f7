#pragma once

#include <QList>
#include <QString>

// One value of a record: its name in CSV titles and JSON keys, its text,
// and the unit the text format shows after it.
struct RecordField {
  QString name;
  QString value;
  QString unit;
};
using Record = QList<RecordField>;

// Writes records to stdout as text (values with their units, two blanks
// apart), as comma-separated values (a title line before the first record)
// or as JSON lines (one object per record), flushed record by record so
// that a scan can be followed as it runs.
class RecordOutput {
public:
  enum class Format { Text, Csv, Json };
  explicit RecordOutput(Format format) : format_(format) {}

  // "text", "csv" or "json"; raises CliError (bad input) for anything else.
  static Format ParseFormat(const QString &text);

  void Write(const Record &record);
  Format Kind() const { return format_; }

private:
  Format format_;
  bool titled_ = false;
};
