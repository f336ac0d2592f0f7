#include "settings/SettingsRecords.h"

#include "settings/TableStore.h"

namespace {
const QString ComProQuery = QStringLiteral("select * from com_pro.dbf");
const QString DsparaQuery = QStringLiteral("select * from dspara.dbf");
const QString UsercmdReadQuery = QStringLiteral("select * from usercmd.dbf");
const QString UsercmdWriteQuery = QStringLiteral("select * from usercmd.dbf ");

const char *const CommonParameterFields[6] = {"FREQ",     "ACC_TIME", "DEC_TIME",
                                              "JOG_FREQ", "JOG_ACC",  "JOG_DEC"};
const char *const CommandFields[6] = {"YESORNO", "FUNC", "DATA", "SENDATA", "REVDATA", "NOTE"};

void OpenStatement(TTableQuery &query, const QString &statement) {
  query.Close();
  query.SetSQL(statement);
  query.Open();
}

void RequireRecords(const TTableQuery &query, const char *table, int needed) {
  if (query.RecordCount() < needed)
    throw ETableStoreError(std::string("Table '") + table + "' holds " + std::to_string(query.RecordCount()) +
                           " records; " + std::to_string(needed) + " are needed");
}

int IntegerAt(TTableQuery &query, const char *field) { return query.FieldByName(field).AsInteger(); }
QString TextAt(TTableQuery &query, const char *field) { return query.FieldByName(field).AsString(); }

// Grows the table behind the open query to `records` records (empty ones)
// and reopens the statement. The table file is replaced whole.
void GrowTable(TTableQuery &query, int records) {
  const std::string path = query.TablePath().toLocal8Bit().toStdString();
  const QString statement = query.SQL();
  query.Close();
  TDbfTable table = ReadDbfTable(path);
  std::vector<std::vector<TDbfValue>> rows;
  for (const TDbfRecord &record : table.records)
    if (!record.deleted)
      rows.push_back(record.values);
  while (static_cast<int>(rows.size()) < records)
    rows.emplace_back(table.fields.size());
  CreateDbfTable(path, table.fields, rows, true);
  OpenStatement(query, statement);
}
} // namespace

TProtocolSettings ReadProtocolSettings(TTableQuery &query) {
  TProtocolSettings s;
  OpenStatement(query, ComProQuery);
  RequireRecords(query, "com_pro.dbf", ProtocolSettingsRecords);
  query.First();
  s.comPort = IntegerAt(query, "TX610");
  s.seriesStart = TextAt(query, "TX710_B");
  s.seriesStop = TextAt(query, "TX820_W");
  s.arbitraryNum = TextAt(query, "TX820");
  s.storedDecimalSeparator = TextAt(query, "TX930");
  int *const indexes[5] = {&s.modbusMode, &s.userBaud, &s.userDataBit, &s.userParity, &s.userStopBit};
  for (int *index : indexes) {
    query.Next();
    *index = IntegerAt(query, "TX610");
  }
  query.Next();
  s.timeIntervalMs = IntegerAt(query, "TX610");
  query.Next();
  s.timeoutMs = IntegerAt(query, "TX610");
  s.errorOccur = query.FieldByName("TX710_B").AsBoolean();
  s.timeOut = query.FieldByName("TX820_W").AsBoolean();
  s.addChecksum = query.FieldByName("TX820").AsBoolean();
  query.Close();
  return s;
}

TDriveSettings ReadDriveSettings(TTableQuery &query) {
  TDriveSettings s;
  OpenStatement(query, DsparaQuery);
  query.First();
  s.seriesIndex = IntegerAt(query, "SLAVE_ADR");
  if (s.seriesIndex < 0)
    throw ETableStoreError("Table 'dspara.dbf' names no drive series");
  RequireRecords(query, "dspara.dbf", s.seriesIndex + 2);
  query.MoveBy(s.seriesIndex + 1);
  s.machineId = TextAt(query, "SLAVE_ADR");
  for (int i = 0; i < 6; ++i)
    s.commonParameters[static_cast<std::size_t>(i)] = TextAt(query, CommonParameterFields[i]);
  query.Close();
  return s;
}

std::vector<TCommandRow> ReadCommandList(TTableQuery &query) {
  std::vector<TCommandRow> rows;
  OpenStatement(query, UsercmdReadQuery);
  query.First();
  const int count = query.RecordCount() > 0 ? IntegerAt(query, "COUNTNUM") : 0;
  if (count > query.RecordCount())
    throw ETableStoreError("Table 'usercmd.dbf' counts " + std::to_string(count) + " rows but holds " +
                           std::to_string(query.RecordCount()));
  for (int k = 0; k < count; ++k) {
    TCommandRow row;
    row.row = IntegerAt(query, "VALIDNUM");
    for (int c = 0; c < 6; ++c)
      row.cells[static_cast<std::size_t>(c)] = TextAt(query, CommandFields[c]);
    rows.push_back(row);
    query.Next();
  }
  query.Close();
  return rows;
}

void WriteProtocolSettings(TTableQuery &query, const TProtocolSettings &s) {
  OpenStatement(query, ComProQuery);
  RequireRecords(query, "com_pro.dbf", ProtocolSettingsRecords);
  query.First();
  query.Edit();
  query.FieldByName("TX610").SetAsString(QString::number(s.comPort));
  query.FieldByName("TX710_B").SetAsString(s.seriesStart);
  query.FieldByName("TX820_W").SetAsString(s.seriesStop);
  query.FieldByName("TX820").SetAsString(s.arbitraryNum);
  query.FieldByName("TX930").SetAsString(s.storedDecimalSeparator);
  const int indexes[5] = {s.modbusMode, s.userBaud, s.userDataBit, s.userParity, s.userStopBit};
  for (int index : indexes) {
    query.Next();
    query.Edit();
    query.FieldByName("TX610").SetAsString(QString::number(index));
  }
  query.Next();
  query.Edit();
  query.FieldByName("TX610").SetAsString(QString::number(s.timeIntervalMs));
  query.Next();
  query.Edit();
  query.FieldByName("TX610").SetAsString(QString::number(s.timeoutMs));
  query.FieldByName("TX710_B").SetAsBoolean(s.errorOccur);
  query.FieldByName("TX820_W").SetAsBoolean(s.timeOut);
  query.FieldByName("TX820").SetAsBoolean(s.addChecksum);
  query.Post();
  query.Close();
}

void WriteDriveSettings(TTableQuery &query, int seriesRow, const TDriveSettings &s) {
  OpenStatement(query, DsparaQuery);
  RequireRecords(query, "dspara.dbf", seriesRow + 1);
  query.First();
  query.Edit();
  query.FieldByName("SLAVE_ADR").SetAsString(QString::number(seriesRow - 1));
  query.MoveBy(seriesRow);
  query.Edit();
  query.FieldByName("SLAVE_ADR").SetAsString(s.machineId);
  for (int i = 0; i < 6; ++i)
    query.FieldByName(CommonParameterFields[i]).SetAsString(s.commonParameters[static_cast<std::size_t>(i)]);
  query.Post();
  query.Close();
}

void WriteCommandList(TTableQuery &query, const std::vector<TCommandRow> &rows) {
  OpenStatement(query, UsercmdWriteQuery);
  const int needed = std::max<int>(1, static_cast<int>(rows.size()));
  if (query.RecordCount() < needed)
    GrowTable(query, needed);
  query.First();
  query.Edit();
  query.FieldByName("COUNTNUM").SetAsInteger(static_cast<int>(rows.size()));
  for (std::size_t k = 0; k < rows.size(); ++k) {
    if (k > 0) {
      query.Next();
      query.Edit();
    }
    query.FieldByName("VALIDNUM").SetAsInteger(rows[k].row);
    for (int c = 0; c < 6; ++c)
      query.FieldByName(CommandFields[c]).SetAsString(rows[k].cells[static_cast<std::size_t>(c)]);
  }
  query.Post();
  query.Close();
}
