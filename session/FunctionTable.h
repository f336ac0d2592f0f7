#pragma once

#include "settings/TableStore.h"

#include <QObject>
#include <QString>

// The function table as the table store's one shared query holds it:
// loading it, moving through it and storing values into its records. It
// owns the connection and the query; the settings tables pass through the
// same query between two loads. The grid follows the query itself (its
// current record, its values); what only a view decides, such as which
// columns it shows, follows Opened.
class FunctionTable : public QObject {
  Q_OBJECT
public:
  explicit FunctionTable(QObject *parent = nullptr);

  // The statement that lists a function table file, sorted by CODE; with
  // namedOnly the records without a NAME are left out.
  static QString SelectStatement(const QString &file, bool namedOnly);

  TTableConnection &Connection() { return connection_; }
  TTableQuery &Query() { return query_; }
  const TTableQuery &Query() const { return query_; }

  // Points the connection at `folder` and opens `file` in it. A series load
  // (namedOnly) keeps WRITEABLE out of the grid; an imported table shows it.
  void Load(const QString &folder, const QString &file, bool namedOnly);

  // The file Load opened, with its folder, as messages name it.
  const QString &Path() const { return path_; }

  int RecordCount() const;
  // 0-based number of the current record.
  int CurrentRecord() const;
  // First, then MoveBy(record): a negative number stands on the first record,
  // one past the end on the last.
  void MoveTo(int record);
  void MoveBy(int distance);

  // A field of the current record as text; empty for null.
  QString Text(const char *field) const;
  bool Writeable() const;
  // CODE of the current record without its "F" ("113").
  QString ShortCode() const;

  // Writes NOWDATA and MODIFY of the current record to its file.
  void StoreValues(const QString &nowData, const QString &modify);
  // Sets them in the current record and keeps them for WriteKeptValues: a run
  // at line rate writes its values in batches, the file always whole.
  void KeepValues(const QString &nowData, const QString &modify);
  void WriteKeptValues();

  // Closes and reopens the table (so the grid shows the file as stored),
  // keeps WRITEABLE out of the grid again unless told otherwise and returns
  // to `record` (a negative number leaves the query on its first record).
  void Reopen(int record, bool hideWriteable = true);

  // The record whose CODE is `code`, trying `expected` first; -1 when the table
  // has no such record. The current record stays where it was.
  int FindCode(const QString &code, int expected);

signals:
  // The query has just opened the table (a load or a reopen), before it
  // moves to any record; every open shows all columns, and a view that
  // hides WRITEABLE when told does it now.
  void Opened(bool hideWriteable);

private:
  TTableField Field(const char *name) const;
  void SetValues(const QString &nowData, const QString &modify);

  TTableConnection connection_;
  TTableQuery query_;
  QString path_;
};
