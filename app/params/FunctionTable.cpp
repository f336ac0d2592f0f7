#include "app/params/FunctionTable.h"

#include "app/MainWindow.h"
#include "settings/TableStore.h"

namespace FunctionTable {
namespace {
TTableQuery &Query(const TForm1 &form) { return *form.ADOQuery1; }

void SetValues(TTableQuery &query, const QString &nowData, const QString &modify) {
  query.Edit();
  query.FieldByName("NOWDATA").SetAsString(nowData);
  query.FieldByName("MODIFY").SetAsString(modify);
}
} // namespace

void Load(TForm1 &form, const QString &folder, const QString &file, bool namedOnly) {
  form.ADOConnection1->Reconnect(folder);
  TTableQuery &query = Query(form);
  query.Close();
  query.SetSQL(QString());
  query.SetSQL(SelectStatement(file, namedOnly));
  query.Open();
  if (namedOnly)
    query.SetColumnVisible("WRITEABLE", false);
}

int RecordCount(const TForm1 &form) {
  const TTableQuery &query = Query(form);
  return query.Active() ? query.RecordCount() : 0;
}

int CurrentRecord(const TForm1 &form) {
  const TTableQuery &query = Query(form);
  return query.Active() ? query.RecNo() - 1 : -1;
}

void MoveTo(TForm1 &form, int record) {
  TTableQuery &query = Query(form);
  if (!query.Active())
    return;
  // One move from where the query stands, which leaves it exactly as First
  // and MoveBy(record) would, without passing the first record on the way:
  // the grid, which follows the query, would scroll there and back.
  query.MoveBy(record - (query.RecNo() - 1));
}

void MoveBy(TForm1 &form, int distance) {
  if (Query(form).Active())
    Query(form).MoveBy(distance);
}

QString Text(const TForm1 &form, const char *field) { return Query(form).FieldByName(field).AsString(); }

bool Writeable(const TForm1 &form) { return Query(form).FieldByName("WRITEABLE").AsBoolean(); }

QString ShortCode(const TForm1 &form) { return Text(form, "CODE").mid(1, 3); }

void StoreValues(TForm1 &form, const QString &nowData, const QString &modify) {
  SetValues(Query(form), nowData, modify);
  Query(form).Post();
}

void KeepValues(TForm1 &form, const QString &nowData, const QString &modify) {
  SetValues(Query(form), nowData, modify);
  Query(form).KeepEdits();
}

void WriteKeptValues(TForm1 &form) { Query(form).WriteKept(); }

void Reopen(TForm1 &form, int record, bool hideWriteable) {
  TTableQuery &query = Query(form);
  query.Close();
  query.Open();
  if (hideWriteable)
    query.SetColumnVisible("WRITEABLE", false);
  if (record >= 0)
    MoveTo(form, record);
}

int FindCode(TForm1 &form, const QString &code, int expected) {
  const int count = RecordCount(form);
  if (count == 0)
    return -1;
  const int remembered = CurrentRecord(form);
  int found = -1;
  if (expected >= 0 && expected < count) {
    MoveTo(form, expected);
    if (Text(form, "CODE") == code)
      found = expected;
  }
  for (int record = 0; found < 0 && record < count; ++record) {
    MoveTo(form, record);
    if (Text(form, "CODE") == code)
      found = record;
  }
  MoveTo(form, remembered);
  return found;
}

} // namespace FunctionTable
