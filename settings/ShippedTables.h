#pragma once

#include <string>
#include <vector>

// The tables delivered with the program, written into a folder with their
// first contents. Each routine leaves an existing table as it is (returns
// false) unless `replaceExisting` is set; failures raise ETableStoreError.
bool CreateComProTable(const std::string &folder, bool replaceExisting = false);
bool CreateDsparaTable(const std::string &folder, bool replaceExisting = false);
bool CreateUsercmdTable(const std::string &folder, bool replaceExisting = false);
bool CreateRm40Table(const std::string &folder, bool replaceExisting = false);

struct TShippedTable {
  const char *fileName; // "com_pro.dbf", "dspara.dbf", "usercmd.dbf", "RM40.DBF"
  bool (*create)(const std::string &folder, bool replaceExisting);
};
const std::vector<TShippedTable> &ShippedTables();

// Rows of the command list grid that usercmd.dbf has room for.
constexpr int UserCommandRecords = 35;
