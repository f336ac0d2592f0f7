#include "params/ParameterCompare.h"

#include "params/DecimalScaling.h"
#include "params/LocaleDecimal.h"
#include "protocol/ConvertError.h"
#include "session/FunctionTable.h"
#include "settings/TableStore.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace ParameterCompare {
namespace {

// A value as the comparison shows it: with the code's decimals and the
// display separator when it is a number, as written otherwise ("--", empty).
QString Shown(const QString &value, int decimals, const QString &separator) {
  const LocaleDecimal::Reading reading = LocaleDecimal::Read(value.trimmed());
  if (!reading.refusal.isEmpty())
    return value.trimmed(); // "1,000" is no 1.0
  const std::string plain = reading.plain.toStdString();
  if (plain.empty())
    return QString();
  try {
    DecimalScaling::ParseDecimal(plain, ".");
  } catch (const EConvertError &) {
    return value.trimmed();
  }
  const std::string text = decimals >= 0 ? DecimalScaling::NormalizeDecimals(plain, decimals, ".") : plain;
  return QString::fromStdString(text).replace('.', separator);
}

bool SameValue(const QString &a, const QString &b, const QString &separator) {
  if (a == b)
    return true;
  try {
    const std::string sep = separator.toStdString();
    return DecimalScaling::ParseDecimal(a.toStdString(), sep) ==
           DecimalScaling::ParseDecimal(b.toStdString(), sep);
  } catch (const EConvertError &) {
    return false;
  }
}

Kind KindOf(const Record &record) {
  if (record.name == QLatin1String("Reserved"))
    return Kind::Reserved;
  if (record.min == QLatin1String("--") || record.max == QLatin1String("--"))
    return Kind::ReadOnly;
  return Kind::Same;
}

Row Compared(const Record &record, const QString &here, const QString &there, const DecimalsOf &decimals,
             const QString &separator) {
  Row row;
  row.code = record.code;
  row.name = record.name;
  const int d = decimals(record.code);
  row.here = Shown(here, d, separator);
  row.there = Shown(there, d, separator);
  row.min = Shown(record.min, d, separator);
  row.max = Shown(record.max, d, separator);
  row.kind = KindOf(record);
  if (row.kind == Kind::Same && !SameValue(row.here, row.there, separator))
    row.kind = Kind::Differs;
  return row;
}

} // namespace

std::vector<Record> ReadTable(const QString &folder, const QString &file) {
  TTableConnection connection;
  connection.SetConnectionString(TTableConnection::ConnectionTextFor(folder));
  connection.Open();
  TTableQuery query(&connection);
  query.SetSQL(FunctionTable::SelectStatement(file, true));
  query.Open();
  std::vector<Record> records;
  const bool writeableColumn = query.HasField("WRITEABLE");
  for (query.First(); !query.Eof(); query.Next())
    records.push_back({query.FieldByName("CODE").AsString().trimmed(), query.FieldByName("NAME").AsString(),
                       query.FieldByName("MIN").AsString(), query.FieldByName("MAX").AsString(),
                       query.FieldByName("DEFAULT").AsString(), query.FieldByName("NOWDATA").AsString(),
                       !writeableColumn || query.FieldByName("WRITEABLE").AsBoolean()});
  return records;
}

std::vector<Row> WithDefaults(const std::vector<Record> &table, const DecimalsOf &decimals,
                              const QString &separator) {
  std::vector<Row> rows;
  for (const Record &record : table)
    rows.push_back(Compared(record, record.nowData, record.defaultValue, decimals, separator));
  return rows;
}

std::vector<Row> WithSet(const std::vector<Record> &table, const std::vector<Record> &other,
                         const DecimalsOf &decimals, const QString &separator) {
  std::map<QString, const Record *> here, there;
  for (const Record &record : table)
    here.emplace(record.code, &record);
  for (const Record &record : other)
    there.emplace(record.code, &record);
  std::vector<Row> rows;
  for (const auto &[code, record] : here) {
    const auto match = there.find(code);
    Row row = Compared(*record, record->nowData, match == there.end() ? QString() : match->second->nowData,
                       decimals, separator);
    if (match == there.end())
      row.kind = Kind::OnlyHere;
    rows.push_back(row);
  }
  for (const auto &[code, record] : there) {
    if (here.count(code))
      continue;
    Row row = Compared(*record, QString(), record->nowData, decimals, separator);
    row.kind = Kind::OnlyThere;
    rows.push_back(row);
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.code < b.code; });
  return rows;
}

bool IsDifference(Kind kind) {
  return kind == Kind::Differs || kind == Kind::OnlyHere || kind == Kind::OnlyThere;
}

QString KindText(Kind kind) {
  switch (kind) {
  case Kind::Same:
    return QStringLiteral("same");
  case Kind::Differs:
    return QStringLiteral("differs");
  case Kind::OnlyHere:
    return QStringLiteral("only in this table");
  case Kind::OnlyThere:
    return QStringLiteral("only in the other set");
  case Kind::Reserved:
    return QStringLiteral("Reserved");
  case Kind::ReadOnly:
    return QStringLiteral("--");
  }
  return QString();
}

Counts Count(const std::vector<Row> &rows) {
  Counts counts;
  for (const Row &row : rows) {
    switch (row.kind) {
    case Kind::Same:
      ++counts.same;
      break;
    case Kind::Differs:
      ++counts.differs;
      break;
    case Kind::OnlyHere:
    case Kind::OnlyThere:
      ++counts.oneSide;
      break;
    case Kind::Reserved:
      ++counts.reserved;
      break;
    case Kind::ReadOnly:
      ++counts.readOnly;
      break;
    }
  }
  return counts;
}

QString Summary(const Counts &c) {
  return QStringLiteral(
             "%1 differ, %2 on one side only, %3 same; %4 \"Reserved\" and %5 read-only (--) not compared")
      .arg(c.differs)
      .arg(c.oneSide)
      .arg(c.same)
      .arg(c.reserved)
      .arg(c.readOnly);
}

QString CsvField(const QString &text) {
  const bool quoted = text.contains(',') || text.contains('"') || text.contains('\n') ||
                      text.contains('\r') || text != text.trimmed();
  if (!quoted)
    return text;
  QString doubled = text;
  doubled.replace('"', QStringLiteral("\"\""));
  return '"' + doubled + '"';
}

QString ToCsv(const std::vector<Row> &rows, const QString &hereTitle, const QString &thereTitle) {
  const auto line = [](const QStringList &fields) {
    QStringList quoted;
    for (const QString &field : fields)
      quoted << CsvField(field);
    return quoted.join(',') + QStringLiteral("\r\n");
  };
  QString csv = line({"CODE", "NAME", hereTitle, thereTitle, "MIN", "MAX", "RESULT"});
  for (const Row &row : rows)
    csv += line({row.code, row.name, row.here, row.there, row.min, row.max, KindText(row.kind)});
  return csv;
}

} // namespace ParameterCompare
