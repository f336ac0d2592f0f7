#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

class TTableQuery;

// The values the settings tables hold, read and written as whole records so
// that a table that cannot be read leaves nothing half applied. The defaults
// are the values the program is delivered with.

// com_pro.dbf: eight records of five generic slots.
struct TProtocolSettings {
  int comPort = 1;     // item index of "COM1".."COM20"; -1 for a typed port
  QString comPortName; // a typed port (a device path); empty for a listed one
  int modbusMode = 0;  // "ASCII", "RTU"
  int userBaud = 3;    // "1200".."115200"
  int userDataBit = 0; // "7", "8"
  int userParity = 0;  // "N", "O", "E"
  int userStopBit = 0; // "1", "2"
  QString seriesStart = QStringLiteral("1");
  QString seriesStop = QStringLiteral("1");
  QString arbitraryNum = QStringLiteral("1");
  QString storedDecimalSeparator = QStringLiteral(".");
  int timeIntervalMs = 1000;
  int timeoutMs = 500;
  bool errorOccur = false;
  bool timeOut = false;
  bool addChecksum = true; // steps without checksum get no answer from a drive
};
constexpr int ProtocolSettingsRecords = 8;

// dspara.dbf: record 1 the series index, record 2 + index that series' drive
// address and six common parameters.
struct TDriveSettings {
  int seriesIndex = 0;
  QString machineId = QStringLiteral("1");
  std::array<QString, 6> commonParameters = {QStringLiteral("40.00"), QStringLiteral("30.0"),
                                             QStringLiteral("30.0"),  QStringLiteral("5.00"),
                                             QStringLiteral("10.0"),  QStringLiteral("10.0")};
};

// dspara.dbf's fields of the six common parameters, "Frequency" to "Jog Dec Time".
extern const char *const CommonParameterFields[6];

// usercmd.dbf: one record per used grid row.
struct TCommandRow {
  int row = 0; // grid row, 1 and up
  std::array<QString, 6> cells;
};

// The command grid's rows 0 (captions) to 200, as many as a workbook import
// takes; stored rows beyond them are left out.
constexpr int CommandGridRowLimit = 201;

// Each reader opens its statement on `query`, reads record by record and
// value by value, and closes. A value that cannot be read (not a number, a
// record the table lacks) keeps its default and is noted in `problems`; a
// table that cannot be opened at all raises the store's error.
TProtocolSettings ReadProtocolSettings(TTableQuery &query, QStringList &problems);
TDriveSettings ReadDriveSettings(TTableQuery &query, QStringList &problems);
std::vector<TCommandRow> ReadCommandList(TTableQuery &query, QStringList &problems);

void WriteProtocolSettings(TTableQuery &query, const TProtocolSettings &settings);
// `seriesRow` is the series index read at start plus one.
void WriteDriveSettings(TTableQuery &query, int seriesRow, const TDriveSettings &settings);
// Adds empty records first when the rows outnumber the table's records, so no
// row overwrites another. A text the table's code page cannot store raises
// ETableStoreError before anything is written.
void WriteCommandList(TTableQuery &query, const std::vector<TCommandRow> &rows);

// The width of each character field of `table` ("com_pro.dbf"), by field
// name; raises the store's error when the table cannot be opened.
QHash<QString, int> CharacterFieldWidths(TTableQuery &query, const QString &table);
