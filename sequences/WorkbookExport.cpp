#include "sequences/WorkbookExport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QXmlStreamWriter>
#include <cstdio>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

// The workbook is assembled here from its XML parts with the same zip
// library that reads workbooks. The system's spreadsheet writer library
// cannot be used in this program: it brings a second zip library whose
// functions carry the same names as those of ours, and in one process the
// calls of one of the two land in the other.

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

bool IsXmlCharacter(char16_t c) {
  return c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         QChar::isSurrogate(c);
}

// Characters XML cannot carry travel as _xHHHH_; an underscore that would
// read as the start of such an escape is escaped itself (_x005F_).
QString EscapeCellText(const QString &text) {
  QString escaped;
  escaped.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    const bool looksLikeEscape = c == u'_' && i + 6 < text.size() && text[i + 1] == QLatin1Char('x') &&
                                 text[i + 6] == QLatin1Char('_');
    if (!IsXmlCharacter(c) || looksLikeEscape)
      escaped += QStringLiteral("_x%1_")
                     .arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'))
                     .toUpper()
                     .replace(QLatin1String("_X"), QLatin1String("_x"));
    else
      escaped += QChar(c);
  }
  return escaped;
}

// "A1" style reference of a zero-based cell.
QString CellReference(int row, int column) {
  QString letters;
  for (int n = column + 1; n > 0; n = (n - 1) / 26)
    letters.prepend(QChar(u'A' + (n - 1) % 26));
  return letters + QString::number(row + 1);
}

QByteArray SheetXml(const TextTable &rows) {
  QByteArray xml;
  QXmlStreamWriter out(&xml);
  out.writeStartDocument(QStringLiteral("1.0"), true);
  out.writeStartElement(QStringLiteral("worksheet"));
  out.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main"));
  out.writeStartElement(QStringLiteral("sheetData"));
  for (int row = 0; row < rows.size(); ++row) {
    out.writeStartElement(QStringLiteral("row"));
    out.writeAttribute(QStringLiteral("r"), QString::number(row + 1));
    for (int column = 0; column < rows[row].size(); ++column) {
      // An empty text leaves its cell blank.
      const QString &text = rows[row][column];
      if (text.isEmpty())
        continue;
      out.writeStartElement(QStringLiteral("c"));
      out.writeAttribute(QStringLiteral("r"), CellReference(row, column));
      out.writeAttribute(QStringLiteral("t"), QStringLiteral("inlineStr"));
      out.writeStartElement(QStringLiteral("is"));
      out.writeStartElement(QStringLiteral("t"));
      out.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
      out.writeCharacters(EscapeCellText(text));
      out.writeEndElement();
      out.writeEndElement();
      out.writeEndElement();
    }
    out.writeEndElement();
  }
  out.writeEndElement();
  out.writeEndElement();
  out.writeEndDocument();
  return xml;
}

QByteArray WorkbookXml(const QList<WorkbookSheet> &sheets) {
  QByteArray xml;
  QXmlStreamWriter out(&xml);
  out.writeStartDocument(QStringLiteral("1.0"), true);
  out.writeStartElement(QStringLiteral("workbook"));
  out.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main"));
  out.writeNamespace(QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships"),
                     QStringLiteral("r"));
  out.writeStartElement(QStringLiteral("sheets"));
  for (int i = 0; i < sheets.size(); ++i) {
    out.writeStartElement(QStringLiteral("sheet"));
    out.writeAttribute(QStringLiteral("name"), sheets[i].name);
    out.writeAttribute(QStringLiteral("sheetId"), QString::number(i + 1));
    out.writeAttribute(QStringLiteral("r:id"), QStringLiteral("rId%1").arg(i + 1));
    out.writeEndElement();
  }
  out.writeEndElement();
  out.writeEndElement();
  out.writeEndDocument();
  return xml;
}

QByteArray WorkbookRelationshipsXml(int sheetCount) {
  QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                   "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (int i = 1; i <= sheetCount; ++i)
    xml += QStringLiteral(
               "<Relationship Id=\"rId%1\" "
               "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
               "Target=\"worksheets/sheet%1.xml\"/>")
               .arg(i)
               .toUtf8();
  xml += QStringLiteral("<Relationship Id=\"rId%1\" "
                        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
                        "Target=\"styles.xml\"/>")
             .arg(sheetCount + 1)
             .toUtf8();
  xml += "</Relationships>";
  return xml;
}

QByteArray ContentTypesXml(int sheetCount) {
  QByteArray xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
  for (int i = 1; i <= sheetCount; ++i)
    xml += QStringLiteral(
               "<Override PartName=\"/xl/worksheets/sheet%1.xml\" "
               "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>")
               .arg(i)
               .toUtf8();
  xml += "</Types>";
  return xml;
}

const char *const PackageRelationshipsXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"xl/workbook.xml\"/></Relationships>";

// The smallest style sheet spreadsheet applications accept: one font, the
// two mandatory fills, one border, one cell format.
const char *const StylesXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "</styleSheet>";

bool AddPart(QuaZip &zip, const QString &name, const QByteArray &data) {
  QuaZipFile part(&zip);
  if (!part.open(QIODevice::WriteOnly, QuaZipNewInfo(name)))
    return false;
  const bool written = part.write(data) == data.size();
  part.close();
  return written && part.getZipError() == ZIP_OK;
}

bool WritePackage(const QString &path, const QList<WorkbookSheet> &sheets) {
  QuaZip zip(path);
  if (!zip.open(QuaZip::mdCreate))
    return false;
  bool ok =
      AddPart(zip, QStringLiteral("[Content_Types].xml"), ContentTypesXml(sheets.size())) &&
      AddPart(zip, QStringLiteral("_rels/.rels"), PackageRelationshipsXml) &&
      AddPart(zip, QStringLiteral("xl/workbook.xml"), WorkbookXml(sheets)) &&
      AddPart(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), WorkbookRelationshipsXml(sheets.size())) &&
      AddPart(zip, QStringLiteral("xl/styles.xml"), StylesXml);
  for (int i = 0; ok && i < sheets.size(); ++i)
    ok = AddPart(zip, QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1), SheetXml(sheets[i].rows));
  zip.close();
  return ok && zip.getZipError() == ZIP_OK;
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
