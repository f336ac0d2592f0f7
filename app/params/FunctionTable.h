#pragma once

#include "params/FunctionTableStatement.h"

#include <QString>

class TForm1;

// The function table as the main window's shared query holds it: loading
// it, moving through it and storing values into its records. Every other
// file of the function-table subsystem reaches the table store through here.
namespace FunctionTable {

// Points the connection at `folder` and opens `file` in it. A series load
// (namedOnly) hides the WRITEABLE column; an imported table shows it.
void Load(TForm1 &form, const QString &folder, const QString &file, bool namedOnly);

int RecordCount(const TForm1 &form);
// 0-based number of the current record.
int CurrentRecord(const TForm1 &form);
// First, then MoveBy(record): a negative number stands on the first record,
// one past the end on the last.
void MoveTo(TForm1 &form, int record);
void MoveBy(TForm1 &form, int distance);

// A field of the current record as text; empty for null.
QString Text(const TForm1 &form, const char *field);
bool Writeable(const TForm1 &form);
// CODE of the current record without its "F" ("113").
QString ShortCode(const TForm1 &form);

// Writes NOWDATA and MODIFY of the current record to its file.
void StoreValues(TForm1 &form, const QString &nowData, const QString &modify);
// Sets them in the current record and keeps them for WriteKeptValues: a run
// at line rate writes its values in batches, the file always whole.
void KeepValues(TForm1 &form, const QString &nowData, const QString &modify);
void WriteKeptValues(TForm1 &form);

// Closes and reopens the table (so the grid shows the file as stored), hides
// WRITEABLE again unless told otherwise and returns to `record` (a negative
// number leaves the query on its first record).
void Reopen(TForm1 &form, int record, bool hideWriteable = true);

// The record whose CODE is `code`, trying `expected` first; -1 when the table
// has no such record.
int FindCode(TForm1 &form, const QString &code, int expected);

} // namespace FunctionTable
