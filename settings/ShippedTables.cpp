#include "settings/ShippedTables.h"

#include "params/Rm40Parameters.h"
#include "settings/DbfFile.h"

namespace {

std::string PathIn(const std::string &folder, const char *fileName) {
  if (folder.empty() || folder.back() == '/')
    return folder + fileName;
  return folder + "/" + fileName;
}

TDbfFieldDef Text(const char *name, int width) { return {name, 'C', width, 0}; }

} // namespace

// Five generic value slots per record; record 8 holds the three sequence
// check boxes as "True"/"False" texts, which read back as booleans.
bool CreateComProTable(const std::string &folder, bool replaceExisting) {
  const std::vector<TDbfFieldDef> fields = {Text("TX610", 20), Text("TX710_B", 40), Text("TX820_W", 40),
                                            Text("TX820", 100), Text("TX930", 10)};
  const std::vector<std::vector<TDbfValue>> records = {
      {"1", "1", "1", "1", "."},         // COM2, scan range 1..1, arbitrary list "1", "." separator
      {"0"},                             // Modbus ASCII
      {"3"},                             // 9600 baud
      {"0"},                             // 7 data bits
      {"0"},                             // no parity
      {"0"},                             // 1 stop bit
      {"1000"},                          // pause between sequence steps, ms
      {"500", "False", "False", "True"}, // reply time-out, ms; check boxes (checksum added)
  };
  return CreateDbfTable(PathIn(folder, "com_pro.dbf"), fields, records, replaceExisting);
}

// Record 1: index of the selected series; record 2 + index: that series'
// drive address and common parameters.
bool CreateDsparaTable(const std::string &folder, bool replaceExisting) {
  const std::vector<TDbfFieldDef> fields = {Text("SLAVE_ADR", 10), Text("FREQ", 20),     Text("ACC_TIME", 20),
                                            Text("DEC_TIME", 20),  Text("JOG_FREQ", 20), Text("JOG_ACC", 20),
                                            Text("JOG_DEC", 20)};
  const std::vector<std::vector<TDbfValue>> records = {
      {"0"},
      {"1", "40.00", "30.0", "30.0", "5.00", "10.0", "10.0"},
  };
  return CreateDbfTable(PathIn(folder, "dspara.dbf"), fields, records, replaceExisting);
}

bool CreateUsercmdTable(const std::string &folder, bool replaceExisting) {
  const std::vector<TDbfFieldDef> fields = {
      {"COUNTNUM", 'N', 10, 0}, {"VALIDNUM", 'N', 10, 0}, Text("YESORNO", 10),  Text("FUNC", 60),
      Text("DATA", 60),         Text("SENDATA", 254),     Text("REVDATA", 254), Text("NOTE", 254)};
  std::vector<std::vector<TDbfValue>> records(UserCommandRecords);
  records[0] = {"0"};
  return CreateDbfTable(PathIn(folder, "usercmd.dbf"), fields, records, replaceExisting);
}

bool CreateRm40Table(const std::string &folder, bool replaceExisting) {
  const std::vector<TDbfFieldDef> fields = {Text("CODE", 10),   Text("NAME", 60),        Text("MIN", 20),
                                            Text("MAX", 20),    Text("DEFAULT", 20),     Text("NOWDATA", 20),
                                            Text("MODIFY", 20), {"WRITEABLE", 'L', 1, 0}};
  const auto text = [](const char *value) -> TDbfValue {
    if (!value)
      return std::nullopt;
    return std::string(value);
  };
  std::vector<std::vector<TDbfValue>> records;
  for (const Rm40Parameter &p : Rm40Parameters())
    records.push_back({text(p.code), text(p.name), text(p.min), text(p.max), text(p.def), std::nullopt,
                       std::nullopt, std::string(p.writeable ? "T" : "F")});
  return CreateDbfTable(PathIn(folder, "RM40.DBF"), fields, records, replaceExisting);
}

const std::vector<TShippedTable> &ShippedTables() {
  static const std::vector<TShippedTable> tables = {{"com_pro.dbf", CreateComProTable},
                                                    {"dspara.dbf", CreateDsparaTable},
                                                    {"usercmd.dbf", CreateUsercmdTable},
                                                    {"RM40.DBF", CreateRm40Table}};
  return tables;
}
