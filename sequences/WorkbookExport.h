#pragma once

#include "sequences/TextTable.h"

#include <QList>
#include <QString>

// One sheet of an exported workbook: the sheet's name and the texts of the
// grid written into it (grid row r, column c lands in sheet cell r + 1, c + 1).
struct WorkbookSheet {
  QString name;
  TextTable rows;
};

// Exported workbooks are Office Open XML files, so their names end in
// ".xlsx". The test is exact: "cmds.XLSX" becomes "cmds.XLSX.xlsx".
QString WithWorkbookExtension(const QString &fileName);

// Writes every sheet, every cell as text, into a new workbook at path. The
// workbook is written beside the target first and moved over it only once it
// is complete, so a failed export never destroys an existing file. Returns
// false when the workbook could not be written.
bool WriteWorkbook(const QString &path, const QList<WorkbookSheet> &sheets);
