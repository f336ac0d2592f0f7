#include "sequences/WorkbookExport.h"

#include "sequences/XlsxWriterLibrary.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>

QString WithWorkbookExtension(const QString &fileName) {
  const QString extension = QStringLiteral(".xlsx");
  if (fileName.endsWith(extension, Qt::CaseSensitive))
    return fileName;
  return fileName + extension;
}

namespace {

// Names a spreadsheet accepts for a sheet.
bool IsValidSheetName(const QString &name) {
  if (name.isEmpty() || name.size() > 31 || name.startsWith(QLatin1Char('\'')) ||
      name.endsWith(QLatin1Char('\'')))
    return false;
  for (QChar c : name)
    if (QStringLiteral("[]:*?/\\").contains(c))
      return false;
  return true;
}

// Spreadsheets read "_xHHHH_" in a cell as an escaped character; an
// underscore that would start such a sequence is escaped itself (_x005F_),
// so the text reads back as it was typed. The writer escapes control
// characters on its own.
QString EscapeLiteralEscapes(const QString &text) {
  QString escaped;
  escaped.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const bool looksLikeEscape = text[i] == QLatin1Char('_') && i + 6 < text.size() &&
                                 text[i + 1] == QLatin1Char('x') && text[i + 6] == QLatin1Char('_');
    if (looksLikeEscape)
      escaped += QStringLiteral("_x005F_");
    else
      escaped += text[i];
  }
  return escaped;
}

// Writes the sheets with the spreadsheet writer library, every cell as text.
bool WritePackage(const QString &path, const QList<WorkbookSheet> &sheets) {
  const XlsxWriterLibrary &xlsx = XlsxWriterLibrary::Instance();
  if (!xlsx.Loaded())
    return false;
  lxw_workbook *workbook = xlsx.NewWorkbook(QFile::encodeName(path).constData());
  if (workbook == nullptr)
    return false;
  bool ok = true;
  for (const WorkbookSheet &sheet : sheets) {
    lxw_worksheet *worksheet = xlsx.AddWorksheet(workbook, sheet.name.toUtf8().constData());
    if (worksheet == nullptr) {
      ok = false;
      break;
    }
    for (int row = 0; ok && row < sheet.rows.size(); ++row)
      for (int column = 0; ok && column < sheet.rows[row].size(); ++column) {
        // An empty text leaves its cell blank.
        const QString &text = sheet.rows[row][column];
        if (!text.isEmpty())
          ok = xlsx.WriteString(worksheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column),
                                EscapeLiteralEscapes(text).toUtf8().constData(), nullptr) == LXW_NO_ERROR;
      }
  }
  // Closing writes the file; it also frees the workbook after a failure.
  return xlsx.CloseWorkbook(workbook) == LXW_NO_ERROR && ok;
}

} // namespace

bool WriteWorkbook(const QString &path, const QList<WorkbookSheet> &sheets) {
  if (sheets.isEmpty())
    return false;
  for (int i = 0; i < sheets.size(); ++i) {
    if (!IsValidSheetName(sheets[i].name))
      return false;
    for (int j = 0; j < i; ++j)
      if (sheets[j].name.compare(sheets[i].name, Qt::CaseInsensitive) == 0)
        return false;
  }
  // Reserve a name in the target's folder, so that the final move is a
  // rename within one file system.
  QTemporaryFile partial(QFileInfo(path).absoluteFilePath() + QStringLiteral(".partial-XXXXXX"));
  if (!partial.open())
    return false;
  // A temporary file is private to its owner; the workbook is an ordinary
  // document.
  partial.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                         QFileDevice::ReadOther);
  partial.close();
  if (!WritePackage(partial.fileName(), sheets))
    return false;
  if (std::rename(QFile::encodeName(partial.fileName()).constData(), QFile::encodeName(path).constData()) !=
      0)
    return false;
  partial.setAutoRemove(false);
  return true;
}
