#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The error of every table operation that fails: a missing table or field, a
// statement the store does not understand, a damaged file, a failed write.
class ETableStoreError : public std::runtime_error {
public:
  explicit ETableStoreError(const std::string &message) : std::runtime_error(message) {}
};

// dBASE files on disk. Values travel as byte texts in the table's code page:
// a character field's text without its padding, a number's text as written,
// a logical as "T" or "F"; std::nullopt is an empty (null) value.
using TDbfValue = std::optional<std::string>;

struct TDbfFieldDef {
  std::string name; // upper case as stored
  char type = 'C';  // C, N, F, L, D (others are read as text)
  int width = 1;
  int decimals = 0;
  bool operator==(const TDbfFieldDef &) const = default;
};

struct TDbfRecord {
  int fileRecord = 0; // 0-based record number in the file
  bool deleted = false;
  std::vector<TDbfValue> values;
};

struct TDbfTable {
  unsigned char languageDriver = 0; // header byte 29: the code page of the texts
  std::vector<TDbfFieldDef> fields;
  std::vector<TDbfRecord> records;
};

struct TDbfCellUpdate {
  int fileRecord = 0;
  int field = 0;
  TDbfValue value;
};

// Checks the header of a dBASE file held in memory (record length, header
// length against the size, field descriptors) and returns its fields. A file
// that fails raises ETableStoreError naming `displayName`.
std::vector<TDbfFieldDef> ParseDbfHeader(const std::string &bytes, const std::string &displayName);

// Reads a whole table, deleted records included (marked).
TDbfTable ReadDbfTable(const std::string &path);

// Writes the given cells into the table at `path`. The table is rewritten as
// a whole into a new file that replaces the old one only when it is complete,
// so a write that is cut short leaves the old table. `expectedFields` guards
// against a file whose layout changed since it was read.
void UpdateDbfTable(const std::string &path, const std::vector<TDbfFieldDef> &expectedFields,
                    const std::vector<TDbfCellUpdate> &updates);

// Creates a table with the given fields and records; the file appears only
// when it is complete. With `replaceExisting` false an existing file is left
// as it is and false is returned.
bool CreateDbfTable(const std::string &path, const std::vector<TDbfFieldDef> &fields,
                    const std::vector<std::vector<TDbfValue>> &records, bool replaceExisting);

// Removes the half-written files that writers killed in the middle of a save
// left in `folder` (those of running processes are kept). Returns how many.
int RemoveAbandonedTemporaryFiles(const std::string &folder);

// The field's bytes for a value: padded to the field width (numbers aligned
// right). Raises ETableStoreError when a number does not fit.
std::string EncodeDbfValue(const TDbfFieldDef &field, const TDbfValue &value);
