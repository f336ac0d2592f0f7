#include "settings/SettingsRecords.h"

#include "settings/TableStore.h"

#include <QStringList>
#include <algorithm>

const char *const CommonParameterFields[6] = {"FREQ",     "ACC_TIME", "DEC_TIME",
                                              "JOG_FREQ", "JOG_ACC",  "JOG_DEC"};

namespace {
const QString ComProQuery = QStringLiteral("select * from com_pro.dbf");
const QString DsparaQuery = QStringLiteral("select * from dspara.dbf");
const QString UsercmdReadQuery = QStringLiteral("select * from usercmd.dbf");
const QString UsercmdWriteQuery = QStringLiteral("select * from usercmd.dbf ");

const char *const CommandFields[6] = {"YESORNO", "FUNC", "DATA", "SENDATA", "REVDATA", "NOTE"};

// A port typed as a device path is kept in a cell the line settings leave
// free, so that readers that know only the item index see no change.
constexpr int TypedPortRecord = 2;
const char *const TypedPortField = "TX820";

void OpenStatement(TTableQuery &query, const QString &statement) {
  query.Close();
  query.SetSQL(statement);
  query.Open();
}

// The edits of one table, posted by Commit; a value refused before that
// leaves the table as it was (the edits are dropped, not written by Close).
class TWholeWrite {
public:
  explicit TWholeWrite(TTableQuery &query) : query_(query) {}
  ~TWholeWrite() {
    if (committed_)
      return;
    query_.DropEdits();
    query_.Close();
  }
  TWholeWrite(const TWholeWrite &) = delete;
  TWholeWrite &operator=(const TWholeWrite &) = delete;
  void Commit() {
    query_.Post();
    committed_ = true;
    query_.Close();
  }

private:
  TTableQuery &query_;
  bool committed_ = false;
};

void RequireRecords(const TTableQuery &query, const char *table, int needed) {
  if (query.RecordCount() < needed)
    throw ETableStoreError(std::string("Table '") + table + "' holds " + std::to_string(query.RecordCount()) +
                           " records; " + std::to_string(needed) + " are needed");
}

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

namespace {
// Reads one value; a value that cannot be read keeps its default and is
// noted with its record and field.
template <typename Read>
void ReadValue(QStringList &problems, TTableQuery &query, const char *field, Read read) {
  try {
    read(query.FieldByName(field));
  } catch (const std::exception &error) {
    problems << QStringLiteral("record %1, %2: %3")
                    .arg(query.RecNo())
                    .arg(QString::fromLatin1(field), QString::fromLocal8Bit(error.what()));
  }
}

void ReadInteger(QStringList &problems, TTableQuery &query, const char *field, int &value) {
  ReadValue(problems, query, field, [&](const TTableField &f) { value = f.AsInteger(); });
}
void ReadText(QStringList &problems, TTableQuery &query, const char *field, QString &value) {
  ReadValue(problems, query, field, [&](const TTableField &f) { value = f.AsString(); });
}
// An item index of a list of `count` items; one the list does not have
// keeps the default, as a damaged table must not pick a setting.
void ReadIndex(QStringList &problems, TTableQuery &query, const char *field, int count, int &value) {
  int index = value;
  ReadInteger(problems, query, field, index);
  if (index >= 0 && index < count)
    value = index;
  else
    problems << QStringLiteral("record %1, %2: %3 is not one of the %4 choices")
                    .arg(query.RecNo())
                    .arg(QString::fromLatin1(field))
                    .arg(index)
                    .arg(count);
}
void ReadFlag(QStringList &problems, TTableQuery &query, const char *field, bool &value) {
  ReadValue(problems, query, field, [&](const TTableField &f) { value = f.AsBoolean(); });
}

void NoteMissingRecords(QStringList &problems, const TTableQuery &query, int needed) {
  if (query.RecordCount() < needed)
    problems
        << QStringLiteral("the table holds %1 records; %2 are needed").arg(query.RecordCount()).arg(needed);
}
} // namespace

TProtocolSettings ReadProtocolSettings(TTableQuery &query, QStringList &problems) {
  TProtocolSettings s;
  OpenStatement(query, ComProQuery);
  NoteMissingRecords(problems, query, ProtocolSettingsRecords);
  int *const indexes[5] = {&s.modbusMode, &s.userBaud, &s.userDataBit, &s.userParity, &s.userStopBit};
  // modes, baud rates, data bits, parities, stop bits
  const int choices[5] = {2, 8, 2, 3, 2};
  for (int record = 1; record <= std::min(query.RecordCount(), ProtocolSettingsRecords); ++record) {
    query.SetRecNo(record);
    if (record == 1) {
      ReadInteger(problems, query, "TX610", s.comPort);
      ReadText(problems, query, "TX710_B", s.seriesStart);
      ReadText(problems, query, "TX820_W", s.seriesStop);
      ReadText(problems, query, "TX820", s.arbitraryNum);
      ReadText(problems, query, "TX930", s.storedDecimalSeparator);
    } else if (record <= 6) {
      ReadIndex(problems, query, "TX610", choices[record - 2], *indexes[record - 2]);
      if (record == TypedPortRecord)
        ReadText(problems, query, TypedPortField, s.comPortName);
    } else if (record == 7) {
      ReadInteger(problems, query, "TX610", s.timeIntervalMs);
    } else {
      ReadInteger(problems, query, "TX610", s.timeoutMs);
      ReadFlag(problems, query, "TX710_B", s.errorOccur);
      ReadFlag(problems, query, "TX820_W", s.timeOut);
      ReadFlag(problems, query, "TX820", s.addChecksum);
    }
  }
  query.Close();
  return s;
}

TDriveSettings ReadDriveSettings(TTableQuery &query, QStringList &problems) {
  TDriveSettings s;
  OpenStatement(query, DsparaQuery);
  if (query.RecordCount() > 0) {
    query.First();
    int series = s.seriesIndex;
    ReadInteger(problems, query, "SLAVE_ADR", series);
    if (series < 0)
      problems << QStringLiteral("record 1, SLAVE_ADR: %1 names no drive series").arg(series);
    else
      s.seriesIndex = series;
  }
  NoteMissingRecords(problems, query, s.seriesIndex + 2);
  if (query.RecordCount() >= s.seriesIndex + 2) {
    query.SetRecNo(s.seriesIndex + 2);
    ReadText(problems, query, "SLAVE_ADR", s.machineId);
    for (int i = 0; i < 6; ++i)
      ReadText(problems, query, CommonParameterFields[i], s.commonParameters[static_cast<std::size_t>(i)]);
  }
  query.Close();
  return s;
}

std::vector<TCommandRow> ReadCommandList(TTableQuery &query, QStringList &problems) {
  std::vector<TCommandRow> rows;
  OpenStatement(query, UsercmdReadQuery);
  int count = 0;
  if (query.RecordCount() > 0) {
    query.First();
    ReadInteger(problems, query, "COUNTNUM", count);
  }
  if (count > query.RecordCount()) {
    problems << QStringLiteral("COUNTNUM counts %1 rows, but the table holds %2 records; those are read")
                    .arg(count)
                    .arg(query.RecordCount());
    count = query.RecordCount();
  }
  QStringList beyond;
  for (int record = 1; record <= count; ++record) {
    query.SetRecNo(record);
    TCommandRow row;
    bool numbered = false;
    ReadValue(problems, query, "VALIDNUM", [&](const TTableField &f) {
      row.row = f.AsInteger();
      numbered = true;
    });
    if (!numbered)
      continue;
    if (row.row < 1 || row.row >= CommandGridRowLimit) {
      beyond << QString::number(row.row);
      continue;
    }
    for (int c = 0; c < 6; ++c)
      ReadText(problems, query, CommandFields[c], row.cells[static_cast<std::size_t>(c)]);
    rows.push_back(row);
  }
  if (!beyond.isEmpty())
    problems << QStringLiteral("%1 rows outside the grid's rows 1 to %2 were left out (VALIDNUM %3)")
                    .arg(beyond.size())
                    .arg(CommandGridRowLimit - 1)
                    .arg(beyond.mid(0, 5).join(", ") + (beyond.size() > 5 ? ", ..." : ""));
  query.Close();
  return rows;
}

void WriteProtocolSettings(TTableQuery &query, const TProtocolSettings &s) {
  OpenStatement(query, ComProQuery);
  RequireRecords(query, "com_pro.dbf", ProtocolSettingsRecords);
  TWholeWrite write(query);
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
    if (query.RecNo() == TypedPortRecord)
      query.FieldByName(TypedPortField).SetAsString(s.comPortName);
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
  write.Commit();
}

void WriteDriveSettings(TTableQuery &query, int seriesRow, const TDriveSettings &s) {
  OpenStatement(query, DsparaQuery);
  RequireRecords(query, "dspara.dbf", seriesRow + 1);
  TWholeWrite write(query);
  query.First();
  query.Edit();
  query.FieldByName("SLAVE_ADR").SetAsString(QString::number(seriesRow - 1));
  query.MoveBy(seriesRow);
  query.Edit();
  query.FieldByName("SLAVE_ADR").SetAsString(s.machineId);
  for (int i = 0; i < 6; ++i)
    query.FieldByName(CommonParameterFields[i]).SetAsString(s.commonParameters[static_cast<std::size_t>(i)]);
  write.Commit();
}

void WriteCommandList(TTableQuery &query, const std::vector<TCommandRow> &rows) {
  OpenStatement(query, UsercmdWriteQuery);
  // Every text is checked before the first is written, so a list that cannot
  // be stored leaves the table as it was.
  for (const TCommandRow &row : rows)
    for (int c = 0; c < 6; ++c) {
      const QString &text = row.cells[static_cast<std::size_t>(c)];
      const QString unstorable = query.UnstorableCharacters(text);
      const int width = query.FieldWidth(CommandFields[c]);
      QString refusal;
      if (!unstorable.isEmpty())
        refusal =
            QStringLiteral("Row %1 of the command list holds characters that usercmd.dbf (code page %2) "
                           "cannot store: %3 (column %4)")
                .arg(row.row)
                .arg(query.CodePageName(), unstorable, CommandFields[c]);
      else if (width > 0 && query.StoredLength(text) > width)
        refusal = QStringLiteral("Row %1 of the command list holds %2 characters in column %3; usercmd.dbf "
                                 "holds at most %4 there")
                      .arg(row.row)
                      .arg(query.StoredLength(text))
                      .arg(CommandFields[c])
                      .arg(width);
      if (!refusal.isEmpty()) {
        query.Close();
        throw ETableStoreError(refusal.toStdString());
      }
    }
  const int needed = std::max<int>(1, static_cast<int>(rows.size()));
  if (query.RecordCount() < needed)
    GrowTable(query, needed);
  TWholeWrite write(query);
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
  write.Commit();
}

QHash<QString, int> CharacterFieldWidths(TTableQuery &query, const QString &table) {
  OpenStatement(query, QStringLiteral("select * from ") + table);
  QHash<QString, int> widths;
  for (int field = 0; field < query.FieldCount(); ++field)
    if (const int width = query.FieldWidth(query.FieldName(field)); width > 0)
      widths.insert(query.FieldName(field).toUpper(), width);
  query.Close();
  return widths;
}
