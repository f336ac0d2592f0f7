// The workbook import reads whatever file the user picks: every input is
// tried once as an ".xlsx" and once as an ".xls" path, with the size of the
// command list import.
#include "fuzz/FuzzSupport.h"
#include "sequences/WorkbookImport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  for (const char *name : {"book.xlsx", "book.xls"}) {
    const QString path = FuzzSupport::ScratchFolder() + name;
    if (!FuzzSupport::WriteFile(path, data, size))
      std::abort();
    const std::optional<TextTable> table = ReadWorkbook(path, 201, 6, ",");
    if (table) {
      // a readable workbook always gives the full rectangle asked for
      if (table->size() != 201)
        std::abort();
      for (const auto &row : *table)
        if (row.size() != 6)
          std::abort();
    }
  }
  return 0;
}
