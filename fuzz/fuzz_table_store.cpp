// The table store opening whatever a .dbf file holds: the table is opened
// whole and through the function table's statement, every field of every
// row is read in each of the ways the program reads fields, and one edit is
// posted back to the file and read again.
#include "fuzz/FuzzSupport.h"
#include "protocol/ConvertError.h"
#include "session/FunctionTable.h"
#include "settings/TableStore.h"

#include <QFile>
#include <cstdlib>

namespace {
void ReadEveryField(TTableQuery &query) {
  for (query.First(); !query.Eof(); query.Next()) {
    for (int field = 0; field < query.FieldCount(); ++field) {
      TTableField value = query.FieldByName(query.FieldName(field));
      (void)value.AsString();
      (void)value.IsNull();
      (void)query.DisplayText(query.RecNo() - 1, field);
      try {
        (void)value.AsInteger();
      } catch (const EConvertError &) {
      }
      try {
        (void)value.AsBoolean();
      } catch (const EConvertError &) {
      }
      try {
        (void)value.AsFloat();
      } catch (const EConvertError &) {
      }
    }
  }
}

// Closes the query; an edit the file refuses to take is reported by Close
// and is a fine outcome, as long as the query is closed afterwards.
void CloseQuery(TTableQuery &query) {
  try {
    query.Close();
  } catch (const ETableStoreError &) {
  }
  if (query.Active())
    std::abort();
}

// Opens `statement`; a table the store refuses is a fine outcome.
bool OpenQuery(TTableQuery &query, const QString &statement) {
  CloseQuery(query);
  query.SetSQL(statement);
  try {
    query.Open();
  } catch (const ETableStoreError &) {
    return false;
  }
  return query.Active();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const QString folder = FuzzSupport::ScratchFolder();
  if (!FuzzSupport::WriteFile(folder + "x.dbf", data, size))
    std::abort();

  TTableConnection connection;
  connection.SetConnectionString(TTableConnection::ConnectionTextFor(folder));
  connection.Open();
  TTableQuery query(&connection);

  if (OpenQuery(query, "select * from x.dbf")) {
    ReadEveryField(query);
    if (query.RecordCount() > 0 && query.FieldCount() > 0) {
      query.First();
      const QString name = query.FieldName(0);
      try {
        query.Edit();
        query.FieldByName(name).SetAsString("12.5");
        query.Post();
      } catch (const ETableStoreError &) {
        // a file that cannot be written back is refused, not damaged
      } catch (const EConvertError &) {
        // a logical or date field refuses the text
      }
      // what was posted must open again
      if (OpenQuery(query, "select * from x.dbf"))
        ReadEveryField(query);
    }
  }
  for (bool namedOnly : {true, false})
    if (OpenQuery(query, FunctionTable::SelectStatement("x.dbf", namedOnly)))
      ReadEveryField(query);
  CloseQuery(query);
  connection.Close();
  return 0;
}
