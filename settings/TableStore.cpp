#include "settings/TableStore.h"

#include "protocol/ConvertError.h"
#include "settings/CodePage.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Numbers, logicals and field names are plain ASCII.
std::string ToBytes(const QString &text) { return text.toLatin1().toStdString(); }
QString FromBytes(const std::string &bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

struct TStatement {
  QString table;
  QStringList columns; // empty: all
  QString whereField;
  bool whereNotNull = true;
  QString orderField;
  bool descending = false;
};

TStatement ParseStatement(const QString &sql) {
  static const QRegularExpression pattern(
      R"(^\s*select\s+(.+?)\s+from\s+(.+?)(?:\s+where\s+(\w+)\s+is\s+(not\s+)?null)?)"
      R"((?:\s+order\s+by\s+(\w+)(?:\s+(asc|desc))?)?\s*$)",
      QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression keyword(R"(\s(where|order|group|join|select)\s)",
                                          QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression identifier(R"(^\w+$)");
  const auto unsupported = [&] {
    return ETableStoreError("Unsupported statement: \"" + sql.toStdString() + "\"");
  };

  const QRegularExpressionMatch match = pattern.match(sql);
  if (!match.hasMatch())
    throw unsupported();
  TStatement statement;
  statement.table = match.captured(2).trimmed();
  if (keyword.match(" " + statement.table + " ").hasMatch() || statement.table.contains('/') ||
      statement.table.contains(','))
    throw unsupported();
  const QString columns = match.captured(1).trimmed();
  if (columns != "*") {
    for (const QString &column : columns.split(',')) {
      const QString name = column.trimmed();
      if (!identifier.match(name).hasMatch())
        throw unsupported();
      statement.columns << name;
    }
  }
  statement.whereField = match.captured(3);
  statement.whereNotNull = !match.captured(4).isEmpty();
  statement.orderField = match.captured(5);
  statement.descending = match.captured(6).compare("desc", Qt::CaseInsensitive) == 0;
  return statement;
}

int FindFileField(const std::vector<TDbfFieldDef> &fields, const QString &name) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (QString::fromLatin1(fields[i].name).compare(name, Qt::CaseInsensitive) == 0)
      return static_cast<int>(i);
  return -1;
}

ETableStoreError UnknownField(const QString &name) {
  return ETableStoreError("Unknown field '" + name.toStdString() + "'");
}

bool LessValue(const TDbfFieldDef &field, const TDbfValue &a, const TDbfValue &b) {
  if (!a || !b)
    return !a && b; // nulls first
  if (field.type == 'N' || field.type == 'F')
    return QString::fromLatin1(*a).toDouble() < QString::fromLatin1(*b).toDouble();
  return *a < *b;
}

bool TextToBoolean(const QString &text) {
  const QString t = text.trimmed().toLower();
  if (t == "true" || t == "t" || t == "yes" || t == "y" || t == "1")
    return true;
  if (t.isEmpty() || t == "false" || t == "f" || t == "no" || t == "n" || t == "0")
    return false;
  throw EConvertError("'" + text.toStdString() + "' is not a valid boolean value");
}

} // namespace

// ---- connection -------------------------------------------------------------

const QString TTableConnection::ConnectionPrefix =
    "Provider=MSDASQL.1;Persist Security Info=False;Data Source=dBASE File;Initial Catalog=";

QString TTableConnection::ConnectionTextFor(const QString &folder) { return ConnectionPrefix + folder; }

TTableConnection::~TTableConnection() {
  for (TTableQuery *query : queries_)
    query->DetachFromConnection();
}

void TTableConnection::SetConnectionString(const QString &text) {
  if (connected_)
    throw ETableStoreError("Close the connection before changing its connection text");
  connectionString_ = text;
}

void TTableConnection::Reconnect(const QString &folder) {
  Close();
  SetConnectionString(ConnectionTextFor(folder));
  SetLoginPrompt(false);
  Open();
}

void TTableConnection::Open() {
  if (connected_)
    return;
  static const QRegularExpression dataSource(R"((?:^|;)\s*Data Source=([^;]*))",
                                             QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch source = dataSource.match(connectionString_);
  if (source.hasMatch() && source.captured(1).trimmed().compare("dBASE File", Qt::CaseInsensitive) != 0)
    throw ETableStoreError("Data source '" + source.captured(1).trimmed().toStdString() + "' not found");
  const QString key = "Initial Catalog=";
  const qsizetype at = connectionString_.indexOf(key, 0, Qt::CaseInsensitive);
  if (at < 0)
    throw ETableStoreError("Connection text names no folder: \"" + connectionString_.toStdString() + "\"");
  // The folder is the last item, taken whole (a folder name may hold ';').
  const QString folder = connectionString_.mid(at + key.size()).trimmed();
  if (folder.isEmpty() || !QFileInfo(folder).isDir())
    throw ETableStoreError("Data folder '" + folder.toStdString() + "' not found");
  folder_ = folder;
  connected_ = true;
}

void TTableConnection::Close() {
  std::optional<ETableStoreError> failure;
  for (TTableQuery *query : queries_) {
    try {
      query->Close();
    } catch (const ETableStoreError &e) {
      if (!failure)
        failure = e;
    }
  }
  connected_ = false;
  if (failure)
    throw *failure;
}

QString TTableConnection::TablePath(const QString &table) const {
  if (!connected_)
    throw ETableStoreError("Not connected to a data folder");
  const QDir dir(folder_);
  const QStringList files = dir.entryList(QDir::Files | QDir::Hidden);
  const auto find = [&](const QString &name) -> QString {
    if (files.contains(name))
      return dir.filePath(name);
    for (const QString &file : files)
      if (file.compare(name, Qt::CaseInsensitive) == 0)
        return dir.filePath(file);
    return {};
  };
  QString path = find(table);
  if (path.isEmpty() && !table.contains('.'))
    path = find(table + ".dbf");
  if (path.isEmpty())
    throw ETableStoreError("Table '" + table.toStdString() + "' not found in " + folder_.toStdString());
  return path;
}

// ---- field ------------------------------------------------------------------

QString TTableField::Name() const { return query_->FieldName(field_); }

QString TTableField::AsString() const {
  const TDbfValue value = query_->Value(field_);
  if (!value)
    return {};
  if (query_->fileFields_[query_->fields_[field_]].type == 'L')
    return *value == "T" ? "True" : "False";
  return query_->DecodeText(*value);
}

int TTableField::AsInteger() const {
  const TDbfValue value = query_->Value(field_);
  if (!value)
    return 0;
  const TDbfFieldDef &def = query_->fileFields_[query_->fields_[field_]];
  if (def.type == 'L')
    return *value == "T" ? 1 : 0;
  if ((def.type == 'N' || def.type == 'F') && def.decimals > 0)
    return static_cast<int>(std::llround(AsFloat()));
  return StrToInt(*value);
}

double TTableField::AsFloat() const {
  const TDbfValue value = query_->Value(field_);
  if (!value)
    return 0;
  if (query_->fileFields_[query_->fields_[field_]].type == 'L')
    return *value == "T" ? 1 : 0;
  bool ok = false;
  const double number = FromBytes(*value).trimmed().toDouble(&ok);
  if (!ok)
    throw EConvertError("'" + *value + "' is not a valid floating point value");
  return number;
}

bool TTableField::AsBoolean() const {
  const TDbfValue value = query_->Value(field_);
  if (!value)
    return false;
  if (query_->fileFields_[query_->fields_[field_]].type == 'L')
    return *value == "T";
  return TextToBoolean(FromBytes(*value));
}

bool TTableField::IsNull() const { return !query_->Value(field_).has_value(); }

void TTableField::SetAsString(const QString &text) {
  const TDbfFieldDef &def = query_->fileFields_[query_->fields_[field_]];
  if (text.isEmpty()) {
    query_->SetValue(field_, std::nullopt);
    return;
  }
  switch (def.type) {
  case 'L':
    query_->SetValue(field_, TextToBoolean(text) ? "T" : "F");
    return;
  case 'N':
  case 'F': {
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok)
      throw EConvertError("'" + text.toStdString() + "' is not a valid number for field '" + def.name + "'");
    // refused here rather than at the write: a value that can never be
    // written would otherwise stay pending and fail every later write
    const QString formatted = QString::number(number, 'f', def.decimals);
    if (formatted.size() > def.width)
      throw EConvertError("'" + text.toStdString() + "' does not fit field '" + def.name + "' (" +
                          std::to_string(def.width) + " characters)");
    query_->SetValue(field_, ToBytes(formatted));
    return;
  }
  default: {
    // Refused, never cut: a cut list or path reads back as another value.
    std::string bytes = query_->EncodeText(text);
    if (bytes.size() > static_cast<std::size_t>(def.width))
      throw ETableStoreError("The text \"" + text.toStdString() + "\" does not fit field '" + def.name +
                             "' of '" + QFileInfo(query_->tablePath_).fileName().toStdString() +
                             "': it holds at most " + std::to_string(def.width) + " characters");
    query_->SetValue(field_, bytes);
  }
  }
}

void TTableField::SetAsInteger(int value) {
  const TDbfFieldDef &def = query_->fileFields_[query_->fields_[field_]];
  if (def.type == 'L')
    query_->SetValue(field_, value != 0 ? "T" : "F");
  else
    SetAsString(QString::number(value));
}

void TTableField::SetAsBoolean(bool value) {
  const TDbfFieldDef &def = query_->fileFields_[query_->fields_[field_]];
  if (def.type == 'L')
    query_->SetValue(field_, value ? "T" : "F");
  else if (def.type == 'N' || def.type == 'F')
    SetAsString(value ? "1" : "0");
  else
    SetAsString(value ? "True" : "False");
}

void TTableField::Clear() { query_->SetValue(field_, std::nullopt); }

// ---- query ------------------------------------------------------------------

TTableQuery::TTableQuery(TTableConnection *connection, QObject *parent)
    : QObject(parent), connection_(connection) {
  if (connection_)
    connection_->queries_.push_back(this);
}

TTableQuery::~TTableQuery() {
  try {
    WritePending();
  } catch (const ETableStoreError &) {
    // nothing left to report to at this point
  }
  if (connection_)
    std::erase(connection_->queries_, this);
}

void TTableQuery::SetSQL(const QString &statement) {
  if (active_)
    Close();
  sql_ = statement;
}

void TTableQuery::Open() {
  if (active_)
    Close();
  if (!connection_)
    throw ETableStoreError("The query has no connection");
  const TStatement statement = ParseStatement(sql_);
  const QString path = connection_->TablePath(statement.table);
  TDbfTable table = ReadDbfTable(path.toStdString());

  std::vector<int> fields;
  if (statement.columns.isEmpty()) {
    for (std::size_t i = 0; i < table.fields.size(); ++i)
      fields.push_back(static_cast<int>(i));
  } else {
    for (const QString &column : statement.columns) {
      const int field = FindFileField(table.fields, column);
      if (field < 0)
        throw UnknownField(column);
      fields.push_back(field);
    }
  }
  const int whereField =
      statement.whereField.isEmpty() ? -1 : FindFileField(table.fields, statement.whereField);
  if (!statement.whereField.isEmpty() && whereField < 0)
    throw UnknownField(statement.whereField);
  const int orderField =
      statement.orderField.isEmpty() ? -1 : FindFileField(table.fields, statement.orderField);
  if (!statement.orderField.isEmpty() && orderField < 0)
    throw UnknownField(statement.orderField);

  std::vector<Row> rows;
  rows.reserve(table.records.size());
  for (TDbfRecord &record : table.records) {
    if (record.deleted)
      continue;
    if (whereField >= 0 && record.values[whereField].has_value() != statement.whereNotNull)
      continue;
    rows.push_back({record.fileRecord, std::move(record.values)});
  }
  if (orderField >= 0) {
    const TDbfFieldDef &def = table.fields[orderField];
    std::stable_sort(rows.begin(), rows.end(), [&](const Row &a, const Row &b) {
      return statement.descending ? LessValue(def, b.values[orderField], a.values[orderField])
                                  : LessValue(def, a.values[orderField], b.values[orderField]);
    });
  }

  tablePath_ = path;
  codePage_ = CodePage::OfLanguageDriver(table.languageDriver);
  fileFields_ = std::move(table.fields);
  fields_ = std::move(fields);
  visible_.assign(fields_.size(), true);
  rows_ = std::move(rows);
  pending_.clear();
  editing_ = false;
  current_ = 0;
  bof_ = true;
  eof_ = rows_.empty();
  active_ = true;
  TellReset();
  if (resetsHeld_ > 0)
    currentWaiting_ = true; // told after the reset, as always
  else
    emit CurrentChanged(current_);
}

void TTableQuery::Close() {
  if (!active_)
    return;
  std::optional<ETableStoreError> failure;
  try {
    WritePending();
  } catch (const ETableStoreError &e) {
    failure = e;
  }
  active_ = false;
  editing_ = false;
  pending_.clear();
  rows_.clear();
  fields_.clear();
  visible_.clear();
  fileFields_.clear();
  tablePath_.clear();
  current_ = 0;
  eof_ = bof_ = true;
  TellReset();
  if (failure)
    throw *failure;
}

void TTableQuery::MoveTo(int row) {
  LeaveEditMode();
  if (rows_.empty())
    return;
  row = std::clamp(row, 0, RecordCount() - 1);
  if (row == current_)
    return;
  current_ = row;
  emit CurrentChanged(current_);
}

void TTableQuery::First() {
  MoveTo(0);
  bof_ = true;
  eof_ = rows_.empty();
}

void TTableQuery::Last() {
  MoveTo(RecordCount() - 1);
  eof_ = true;
  bof_ = rows_.empty();
}

void TTableQuery::Next() { MoveBy(1); }
void TTableQuery::Prior() { MoveBy(-1); }

void TTableQuery::MoveBy(int distance) {
  if (rows_.empty()) {
    LeaveEditMode();
    eof_ = bof_ = true;
    return;
  }
  const long long target = static_cast<long long>(current_) + distance;
  eof_ = distance > 0 && target >= RecordCount();
  bof_ = distance < 0 && target < 0;
  MoveTo(static_cast<int>(std::clamp<long long>(target, 0, RecordCount() - 1)));
}

void TTableQuery::SetRecNo(int recNo) {
  MoveTo(recNo - 1);
  eof_ = rows_.empty();
  bof_ = rows_.empty();
}

QString TTableQuery::FieldName(int field) const {
  if (field < 0 || field >= FieldCount())
    throw ETableStoreError("Field number " + std::to_string(field) + " out of range");
  return QString::fromLatin1(fileFields_[fields_[field]].name);
}

int TTableQuery::CheckField(const QString &name) const {
  if (!active_)
    throw ETableStoreError("The query is not open");
  for (int i = 0; i < FieldCount(); ++i)
    if (FieldName(i).compare(name, Qt::CaseInsensitive) == 0)
      return i;
  throw UnknownField(name);
}

bool TTableQuery::HasField(const QString &name) const {
  for (int i = 0; i < FieldCount(); ++i)
    if (FieldName(i).compare(name, Qt::CaseInsensitive) == 0)
      return true;
  return false;
}

TTableField TTableQuery::FieldByName(const QString &name) { return TTableField(this, CheckField(name)); }

QString TTableQuery::DisplayText(int row, int field) const {
  if (row < 0 || row >= RecordCount() || field < 0 || field >= FieldCount())
    return {};
  const TDbfValue &value = rows_[row].values[fields_[field]];
  if (!value)
    return {};
  if (fileFields_[fields_[field]].type == 'L')
    return *value == "T" ? "True" : "False";
  return DecodeText(*value);
}

QString TTableQuery::DecodeText(const std::string &bytes) const {
  return QString::fromStdString(CodePage::Decode(bytes, codePage_));
}

std::string TTableQuery::EncodeText(const QString &text) const {
  std::string bytes, unstorable;
  if (!CodePage::Encode(text.toStdString(), codePage_, bytes, unstorable))
    throw ETableStoreError(
        "The text \"" + text.toStdString() + "\" holds characters that the code page of '" +
        QFileInfo(tablePath_).fileName().toStdString() + "' (" + codePage_ + ") cannot store: " + unstorable);
  return bytes;
}

int TTableQuery::FieldWidth(const QString &name) const {
  for (const TDbfFieldDef &def : fileFields_)
    if (QString::fromStdString(def.name).compare(name, Qt::CaseInsensitive) == 0)
      return def.type == 'C' ? def.width : 0;
  return 0;
}

int TTableQuery::StoredLength(const QString &text) const {
  std::string bytes, unstorable;
  CodePage::Encode(text.toStdString(), codePage_, bytes, unstorable);
  return static_cast<int>(bytes.size());
}

QString TTableQuery::UnstorableCharacters(const QString &text) const {
  std::string bytes, unstorable;
  CodePage::Encode(text.toStdString(), codePage_, bytes, unstorable);
  return QString::fromStdString(unstorable);
}

void TTableQuery::RequireCurrentRow() const {
  if (!active_)
    throw ETableStoreError("The query is not open");
  if (rows_.empty())
    throw ETableStoreError("The query has no current record");
}

void TTableQuery::RequireEditing() const {
  RequireCurrentRow();
  if (!editing_)
    throw ETableStoreError("The query is not in edit mode");
}

TDbfValue TTableQuery::Value(int field) const {
  RequireCurrentRow();
  return rows_[current_].values[fields_[field]];
}

void TTableQuery::SetValue(int field, TDbfValue value) {
  RequireEditing();
  Row &row = rows_[current_];
  const int fileField = fields_[field];
  row.values[fileField] = value;
  pending_[{row.fileRecord, fileField}] = std::move(value);
  emit RowChanged(current_);
}

void TTableQuery::Edit() {
  RequireCurrentRow();
  if (editing_)
    return;
  editBackup_ = rows_[current_].values;
  editing_ = true;
}

void TTableQuery::LeaveEditMode() { editing_ = false; }

void TTableQuery::Post() {
  if (!active_)
    throw ETableStoreError("The query is not open");
  WritePending();
  LeaveEditMode();
}

void TTableQuery::KeepEdits() {
  if (!active_)
    throw ETableStoreError("The query is not open");
  LeaveEditMode();
}

void TTableQuery::WriteKept() {
  if (active_)
    WritePending();
}

void TTableQuery::Cancel() {
  if (!editing_)
    return;
  Row &row = rows_[current_];
  for (std::size_t f = 0; f < row.values.size(); ++f)
    if (row.values[f] != editBackup_[f]) {
      row.values[f] = editBackup_[f];
      pending_[{row.fileRecord, static_cast<int>(f)}] = editBackup_[f];
    }
  editing_ = false;
  emit RowChanged(current_);
}

void TTableQuery::DropEdits() {
  pending_.clear();
  editing_ = false;
}

void TTableQuery::WritePending() {
  if (pending_.empty())
    return;
  std::vector<TDbfCellUpdate> updates;
  updates.reserve(pending_.size());
  for (const auto &[cell, value] : pending_)
    updates.push_back({cell.first, cell.second, value});
  UpdateDbfTable(tablePath_.toStdString(), fileFields_, updates);
  pending_.clear();
}

TBookmark TTableQuery::GetBookmark() const {
  return active_ && !rows_.empty() ? rows_[current_].fileRecord : NoBookmark;
}

void TTableQuery::GotoBookmark(TBookmark bookmark) {
  if (bookmark == NoBookmark && rows_.empty())
    return;
  for (int row = 0; row < RecordCount(); ++row)
    if (rows_[row].fileRecord == bookmark) {
      MoveTo(row);
      eof_ = bof_ = false;
      return;
    }
  throw ETableStoreError("Record not found");
}

TTableQuery::ResetsTogether::~ResetsTogether() {
  if (--query_.resetsHeld_ > 0)
    return;
  if (std::exchange(query_.resetWaiting_, false))
    emit query_.Reset();
  if (std::exchange(query_.currentWaiting_, false) && query_.active_)
    emit query_.CurrentChanged(query_.current_);
}

void TTableQuery::TellReset() {
  if (resetsHeld_ > 0)
    resetWaiting_ = true;
  else
    emit Reset();
}

void TTableQuery::SetColumnVisible(const QString &name, bool visible) {
  const int field = CheckField(name);
  if (visible_[field] == visible)
    return;
  visible_[field] = visible;
  TellReset();
}

bool TTableQuery::ColumnVisible(int field) const {
  return field >= 0 && field < static_cast<int>(visible_.size()) && visible_[field];
}
