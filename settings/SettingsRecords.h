#pragma once

#include <QString>
#include <array>
#include <vector>

class TTableQuery;

// The values the settings tables hold, read and written as whole records so
// that a table that cannot be read leaves nothing half applied. The defaults
// are the values the program is delivered with.

// com_pro.dbf: eight records of five generic slots.
struct TProtocolSettings {
  int comPort = 1;     // item index of "COM1".."COM20"
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

// usercmd.dbf: one record per used grid row.
struct TCommandRow {
  int row = 0; // grid row, 1 and up
  std::array<QString, 6> cells;
};

// Each reader opens its statement on `query`, reads, and closes. A missing
// table, too few records or a value that is not a number raises the store's
// or the conversion error; the caller then keeps its defaults.
TProtocolSettings ReadProtocolSettings(TTableQuery &query);
TDriveSettings ReadDriveSettings(TTableQuery &query);
std::vector<TCommandRow> ReadCommandList(TTableQuery &query);

void WriteProtocolSettings(TTableQuery &query, const TProtocolSettings &settings);
// `seriesRow` is the series index read at start plus one.
void WriteDriveSettings(TTableQuery &query, int seriesRow, const TDriveSettings &settings);
// Adds empty records first when the rows outnumber the table's records, so no
// row overwrites another.
void WriteCommandList(TTableQuery &query, const std::vector<TCommandRow> &rows);
