#include "sequences/XlsxWriterLibrary.h"

#include <dlfcn.h>

namespace {
XlsxWriterLibrary Load() {
  XlsxWriterLibrary library;
  void *handle = dlopen("libxlsxwriter.so.4", RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
  if (handle == nullptr)
    return library;
  library.NewWorkbook = reinterpret_cast<decltype(&workbook_new)>(dlsym(handle, "workbook_new"));
  library.AddWorksheet =
      reinterpret_cast<decltype(&workbook_add_worksheet)>(dlsym(handle, "workbook_add_worksheet"));
  library.WriteString =
      reinterpret_cast<decltype(&worksheet_write_string)>(dlsym(handle, "worksheet_write_string"));
  library.CloseWorkbook = reinterpret_cast<decltype(&workbook_close)>(dlsym(handle, "workbook_close"));
  // The handle stays open for the life of the program.
  return library;
}
} // namespace

const XlsxWriterLibrary &XlsxWriterLibrary::Instance() {
  static const XlsxWriterLibrary library = Load();
  return library;
}
