#pragma once

#include <xlsxwriter.h>

// The spreadsheet writer library, loaded on first use into a lookup scope of
// its own. The zip library that reads workbooks exports functions under the
// same names as the zip library the writer depends on, with other behaviour;
// linked the ordinary way, the writer's calls would land in the reader's
// versions and crash. Loaded with its own dependencies searched first, the
// writer keeps its own.
struct XlsxWriterLibrary {
  decltype(&workbook_new) NewWorkbook = nullptr;
  decltype(&workbook_add_worksheet) AddWorksheet = nullptr;
  decltype(&worksheet_write_string) WriteString = nullptr;
  decltype(&workbook_close) CloseWorkbook = nullptr;

  bool Loaded() const { return NewWorkbook && AddWorksheet && WriteString && CloseWorkbook; }

  // The loaded library, or one whose Loaded() is false when it cannot be had.
  static const XlsxWriterLibrary &Instance();
};
