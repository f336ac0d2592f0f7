#pragma once

#include "params/ParameterCompare.h"

#include <QMap>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

// A function table file as the command-line program uses it: its named
// records, the request texts of a code, and a copy with new values.
namespace ParameterFile {

using Records = std::vector<ParameterCompare::Record>;

// The named records of the table at `path`, in CODE order; raises CliError
// (bad input) when the file is missing or is no function table.
Records Load(const QString &path);

// The record of `code` ("F113", any case), or nothing.
const ParameterCompare::Record *Find(const Records &records, const QString &code);

// Decimals of a code in the drive series ("F113" -> 2).
int Decimals(const QString &code);

// The register of a code as four upper-case hex digits ("F113" -> "010D");
// empty for a code that names none.
QString Register(const QString &code);

// Request texts for the drive at `address`.
std::string ReadBody(int address, const QString &code);
std::string WriteBody(int address, const QString &code, std::uint16_t raw);

// NOWDATA of `record`, a record of the table file `file`, read as a typed
// value is ("." before decimals). Raises CliError (bad input) naming the
// file, the code and the text as the file holds it when that holds a
// thousands separator or a "," the locale does not write decimals with.
QString StoredValue(const QString &file, const ParameterCompare::Record &record);

// The register value of `value` ("." before decimals) for the parameter of
// `record`, a record of the table in use: cut to the code's decimals and
// checked against the record's MIN and MAX; a Reserved parameter is never
// written. (WRITEABLE says what write all writes: restore asks it.) Raises CliError (bad input) with the
// parameter window's words when the value may not be written.
struct Prepared {
  std::uint16_t raw = 0;
  QString text; // the value with exactly the code's decimals
};
Prepared PrepareWrite(const ParameterCompare::Record &record, const QString &value);

// The value of a read reply's register in the code's decimals.
QString ValueText(const QString &code, std::uint16_t raw);

// Writes a copy of the table `source` to `target` (a BackupTarget) with
// NOWDATA and MODIFY of each code in `values` set. The copy is made beside
// `target` and takes its place only when whole; raises CliError (bad input),
// naming `shown` (the user's name for the file), when it cannot be made.
void SaveCopy(const QString &source, const QString &target, const QString &shown,
              const QMap<QString, QString> &values);

} // namespace ParameterFile
