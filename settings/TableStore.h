#pragma once

#include "settings/DbfFile.h"

#include <QObject>
#include <QString>

#include <map>
#include <optional>
#include <utility>
#include <vector>

class TTableQuery;

// The connection to the folder that holds the tables. The connection text
// names the folder after "Initial Catalog="; a table name in a statement is a
// file name in that folder (the case of the name does not matter).
class TTableConnection {
public:
  static const QString ConnectionPrefix; // text before the folder
  static QString ConnectionTextFor(const QString &folder);

  TTableConnection() = default;
  ~TTableConnection();
  TTableConnection(const TTableConnection &) = delete;
  TTableConnection &operator=(const TTableConnection &) = delete;

  // To point an open connection elsewhere, close it first.
  void SetConnectionString(const QString &text);
  QString ConnectionString() const { return connectionString_; }
  void SetLoginPrompt(bool) {} // there is never a login
  // Raises ETableStoreError for a malformed text or a missing folder.
  void Open();
  // Points the connection at `folder`: close, new connection text, no
  // login, open.
  void Reconnect(const QString &folder);
  // Closes every query opened through this connection.
  void Close();
  bool Connected() const { return connected_; }
  QString Folder() const { return folder_; }
  // Path of the table file named `table`; raises ETableStoreError when the
  // folder holds no such file.
  QString TablePath(const QString &table) const;

private:
  friend class TTableQuery;
  QString connectionString_;
  QString folder_;
  bool connected_ = false;
  std::vector<TTableQuery *> queries_;
};

// Position of a row that survives closing and reopening the same statement:
// the record number in the table file.
using TBookmark = int;
constexpr TBookmark NoBookmark = -1;

// One field of the current row of a query.
class TTableField {
public:
  TTableField(TTableQuery *query, int field) : query_(query), field_(field) {}
  QString Name() const;
  // Texts: a logical reads "True" or "False", null reads "".
  QString AsString() const;
  // A text that is not a whole number raises EConvertError; null is 0.
  int AsInteger() const;
  double AsFloat() const;
  // A logical, or a text "True"/"False" (also T/F, Y/N, Yes/No, 1/0); null
  // is false. Any other text raises EConvertError.
  bool AsBoolean() const;
  bool IsNull() const;
  // Assignments need the query in edit mode. An empty text is stored as
  // null. A text wider than its character field, or with characters the
  // table's code page cannot store, raises ETableStoreError and changes
  // nothing.
  void SetAsString(const QString &text);
  void SetAsInteger(int value);
  void SetAsBoolean(bool value);
  void Clear();

private:
  TTableQuery *query_;
  int field_;
};

// The one kind of query the program uses: a statement over one table,
// opened into memory. Rows come in the statement's order; the query stands
// on a current row. Edits are held until Post, which writes them to the file
// at once (the file is replaced whole, never left half written).
//
// Statements understood:
//   select * from <table>
//   select F1,F2,... from <table> [where F is [not] null] [order by F [asc|desc]]
class TTableQuery : public QObject {
  Q_OBJECT
public:
  explicit TTableQuery(TTableConnection *connection, QObject *parent = nullptr);
  ~TTableQuery() override;

  void SetSQL(const QString &statement);
  QString SQL() const { return sql_; }
  // Raises ETableStoreError for a statement it does not understand, a missing
  // table or field, or a damaged file; the query then stays closed.
  void Open();
  // Writes edits that are still pending, then closes.
  void Close();
  bool Active() const { return active_; }

  void First();
  void Last();
  void Next();
  void Prior();
  // Past the end stays on the last row, before the start on the first.
  void MoveBy(int distance);
  int RecordCount() const { return static_cast<int>(rows_.size()); }
  // 1-based position of the current row; 0 when there is none.
  int RecNo() const { return rows_.empty() ? 0 : current_ + 1; }
  void SetRecNo(int recNo);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  QString FieldName(int field) const;
  bool HasField(const QString &name) const;
  // Raises ETableStoreError "Unknown field 'X'".
  TTableField FieldByName(const QString &name);
  // The text of any row, for display.
  QString DisplayText(int row, int field) const;

  void Edit();
  // Writes all pending edits to the table file.
  void Post();
  // Ends editing but keeps the edits for the next Post, WriteKept or Close,
  // so that many rows edited in a short time are written in one go.
  void KeepEdits();
  // Writes the edits kept so far to the table file.
  void WriteKept();
  // Drops the edits of the current row made since Edit.
  void Cancel();
  bool Editing() const { return editing_; }
  // Forgets every edit not yet written, so that closing leaves the file as
  // it was (a record refused half way through).
  void DropEdits();

  TBookmark GetBookmark() const;
  // Raises ETableStoreError when the row is not in the result.
  void GotoBookmark(TBookmark bookmark);
  void FreeBookmark(TBookmark) {}

  // While one lives, the query's resets come as one when it ends, and the
  // current row of an open after it: opening and hiding columns are one
  // change to whoever shows the query.
  class ResetsTogether {
  public:
    explicit ResetsTogether(TTableQuery &query) : query_(query) { ++query_.resetsHeld_; }
    ~ResetsTogether();
    ResetsTogether(const ResetsTogether &) = delete;
    ResetsTogether &operator=(const ResetsTogether &) = delete;

  private:
    TTableQuery &query_;
  };

  // Hiding is for the grid; every open shows all columns again.
  void SetColumnVisible(const QString &name, bool visible);
  bool ColumnVisible(int field) const;

  QString TablePath() const { return tablePath_; }
  // The code page the open table declares for its texts ("CP1252").
  QString CodePageName() const { return QString::fromStdString(codePage_); }
  // How many characters the open table's character field `name` holds; 0
  // for a field that is not a character field or not there.
  int FieldWidth(const QString &name) const;
  // How many characters `text` takes in the open table's code page.
  int StoredLength(const QString &text) const;
  // The characters of `text` that the open table's code page cannot store,
  // each once; empty when the text can be stored as it is.
  QString UnstorableCharacters(const QString &text) const;

signals:
  void Reset();                 // opened, closed, columns shown or hidden
  void RowChanged(int row);     // a value of the row changed
  void CurrentChanged(int row); // the current row moved (0-based)

private:
  friend class TTableField;
  friend class TTableConnection;
  struct Row {
    int fileRecord;
    std::vector<TDbfValue> values;
  };

  int CheckField(const QString &name) const;
  void RequireCurrentRow() const;
  void RequireEditing() const;
  TDbfValue Value(int field) const;
  void SetValue(int field, TDbfValue value);
  void MoveTo(int row);
  void LeaveEditMode();
  void WritePending();
  void DetachFromConnection() { connection_ = nullptr; }
  QString DecodeText(const std::string &bytes) const;
  // Raises ETableStoreError naming the characters the page cannot store.
  std::string EncodeText(const QString &text) const;

  void TellReset();

  TTableConnection *connection_;
  int resetsHeld_ = 0;
  bool resetWaiting_ = false;   // a reset came while they were held
  bool currentWaiting_ = false; // and the opened query's current row
  QString sql_;
  bool active_ = false;
  QString tablePath_;
  std::string codePage_ = "CP1252";
  std::vector<TDbfFieldDef> fileFields_; // the file's layout
  std::vector<int> fields_;              // query column -> file field
  std::vector<bool> visible_;
  std::vector<Row> rows_;
  int current_ = 0;
  bool eof_ = true;
  bool bof_ = true;
  bool editing_ = false;
  std::vector<TDbfValue> editBackup_;
  std::map<std::pair<int, int>, TDbfValue> pending_; // (file record, file field) -> value
};
