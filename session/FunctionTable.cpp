#include "session/FunctionTable.h"

#include <QDir>

namespace {
const QString Columns = "CODE,NAME,MIN,MAX,DEFAULT,NOWDATA,MODIFY,WRITEABLE";
} // namespace

FunctionTable::FunctionTable(QObject *parent) : QObject(parent), query_(&connection_, this) {}

QString FunctionTable::SelectStatement(const QString &file, bool namedOnly) {
  return "select " + Columns + " from " + file + (namedOnly ? " where NAME is not NULL" : "") +
         " order by CODE ";
}

void FunctionTable::Load(const QString &folder, const QString &file, bool namedOnly) {
  connection_.Reconnect(folder);
  query_.Close();
  query_.SetSQL(QString());
  query_.SetSQL(SelectStatement(file, namedOnly));
  path_ = QDir(folder).filePath(file);
  query_.Open();
  emit Opened(namedOnly);
}

int FunctionTable::RecordCount() const { return query_.Active() ? query_.RecordCount() : 0; }

int FunctionTable::CurrentRecord() const { return query_.Active() ? query_.RecNo() - 1 : -1; }

void FunctionTable::MoveTo(int record) {
  if (!query_.Active())
    return;
  // One move from where the query stands, which leaves it exactly as First
  // and MoveBy(record) would, without passing the first record on the way:
  // the grid, which follows the query, would scroll there and back.
  query_.MoveBy(record - (query_.RecNo() - 1));
}

void FunctionTable::MoveBy(int distance) {
  if (query_.Active())
    query_.MoveBy(distance);
}

TTableField FunctionTable::Field(const char *name) const {
  // The store hands out fields only from a query it may change; reading one
  // changes nothing.
  return const_cast<TTableQuery &>(query_).FieldByName(name);
}

QString FunctionTable::Text(const char *field) const { return Field(field).AsString(); }

bool FunctionTable::Writeable() const { return Field("WRITEABLE").AsBoolean(); }

QString FunctionTable::ShortCode() const { return Text("CODE").mid(1, 3); }

void FunctionTable::SetValues(const QString &nowData, const QString &modify) {
  query_.Edit();
  query_.FieldByName("NOWDATA").SetAsString(nowData);
  query_.FieldByName("MODIFY").SetAsString(modify);
}

void FunctionTable::StoreValues(const QString &nowData, const QString &modify) {
  SetValues(nowData, modify);
  query_.Post();
}

void FunctionTable::KeepValues(const QString &nowData, const QString &modify) {
  SetValues(nowData, modify);
  query_.KeepEdits();
}

void FunctionTable::WriteKeptValues() { query_.WriteKept(); }

void FunctionTable::Reopen(int record, bool hideWriteable) {
  query_.Close();
  {
    // the grid lays out the table read again once, not again for each
    // column hidden
    const TTableQuery::ResetsTogether together(query_);
    query_.Open();
    emit Opened(hideWriteable);
  }
  if (record >= 0)
    MoveTo(record);
}

int FunctionTable::FindCode(const QString &code, int expected) {
  const int count = RecordCount();
  if (count == 0)
    return -1;
  const int remembered = CurrentRecord();
  int found = -1;
  if (expected >= 0 && expected < count) {
    MoveTo(expected);
    if (Text("CODE") == code)
      found = expected;
  }
  for (int record = 0; found < 0 && record < count; ++record) {
    MoveTo(record);
    if (Text("CODE") == code)
      found = record;
  }
  MoveTo(remembered);
  return found;
}
