#include "sequences/BinarySheet.h"
#include "sequences/WorkbookExport.h"
#include "sequences/WorkbookImport.h"

#include "app/MainWindow.h"
#include "base/AppPaths.h"
#include "support/DialogRecorder.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {

// Runs a script with the system's Python (where openpyxl and xlwt live) and
// returns what it printed; fails the test when the script fails.
QByteArray RunPython(const char *script, const QStringList &arguments) {
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"),
               QStringList{QStringLiteral("-c"), QString::fromUtf8(script)} + arguments);
  if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit ||
      python.exitCode() != 0) {
    qWarning("python failed: %s", python.readAllStandardError().constData());
    return QByteArray("FAILED");
  }
  return python.readAllStandardOutput();
}

// Prints every sheet of a workbook as JSON: {"sheets": [names], "cells": {"A1": text, ...}} of the first
// sheet.
const char *const DumpWithOpenpyxl = R"PY(
import json, sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
sheet = book.worksheets[0]
cells = {}
for row in sheet.iter_rows():
    for cell in row:
        if cell.value is not None:
            cells[cell.coordinate] = [cell.data_type, str(cell.value)]
print(json.dumps({"sheets": book.sheetnames, "cells": cells}))
)PY";

// Writes a workbook with openpyxl (strings and numbers), then turns its
// strings into shared strings (one of them in rich-text runs with a
// phonetic hint) and adds inline strings and cells without references, the
// forms other spreadsheet applications write.
const char *const WriteWithOpenpyxl = R"PY(
import re, sys, zipfile, openpyxl
from xml.sax.saxutils import escape
path = sys.argv[1]
book = openpyxl.Workbook()
sheet = book.active
sheet.title = "Commands"
sheet.append(["Select", "Function", "Data", "Command to Send", "Reply", "Note"])
sheet.append(["Yes", "F105", 1.5, None, None, "first"])
sheet.append(["No", 230, 150, "010300000001", None, None])
sheet["F5"] = "Grüße & <tags>"
sheet["A300"] = "far below"
sheet["H2"] = "beyond the sixth column"
other = book.create_sheet("Second")
other["A1"] = "not the first sheet"
book.save(path)

with zipfile.ZipFile(path) as source:
    parts = {name: source.read(name) for name in source.namelist()}
name = "xl/worksheets/sheet1.xml"
sheet_xml = parts[name].decode()
strings = []
def to_shared(match):
    strings.append(match.group(2))
    return '<c r="%s" t="s"><v>%d</v></c>' % (match.group(1), len(strings) - 1)
sheet_xml = re.sub(r'<c r="([A-Z]+[0-9]+)" t="inlineStr"><is><t>(.*?)</t></is></c>', to_shared, sheet_xml)
extra = ('<row r="7"><c r="B7" t="inlineStr"><is><t>inline</t></is></c>'
         '<c r="C7" t="inlineStr"><is><r><t>ri</t></r><r><rPr><b/></rPr><t>ch</t></r></is></c></row>'
         '<row r="8"><c t="inlineStr"><is><t>no ref A</t></is></c><c t="inlineStr"><is><t>no ref B</t></is></c></row>'
         '<row><c r="D9" t="inlineStr"><is><t>row without number</t></is></c></row>'
         '<row r="10"><c r="E10" t="b"><v>1</v></c><c r="F10"><v>0.30000000000000004</v></c></row>')
marker = '<row r="300"'
assert marker in sheet_xml
parts[name] = sheet_xml.replace(marker, extra + marker).encode()
items = []
for text in strings:
    if text == "first":
        items.append('<si><r><t>fi</t></r><r><rPr><i/></rPr><t>rst</t></r><rPh sb="0" eb="1"><t>PHONETIC</t></rPh></si>')
    else:
        items.append("<si><t>%s</t></si>" % text)
parts["xl/sharedStrings.xml"] = ('<?xml version="1.0" encoding="UTF-8"?>'
    '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">' + "".join(items) + "</sst>").encode()
rels = "xl/_rels/workbook.xml.rels"
parts[rels] = parts[rels].replace(b"</Relationships>",
    b'<Relationship Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml" Id="rId9"/></Relationships>')
types = "[Content_Types].xml"
parts[types] = parts[types].replace(b"</Types>",
    b'<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>')
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as target:
    for name, data in parts.items():
        target.writestr(name, data)
# what we wrote must still be a workbook for openpyxl
check = openpyxl.load_workbook(path).worksheets[0]
assert check["B7"].value == "inline" and check["F2"].value == "first", (check["B7"].value, check["F2"].value)
)PY";

const char *const WriteWithXlwt = R"PY(
import sys, xlwt
book = xlwt.Workbook()
sheet = book.add_sheet("StringGrid1")
for column, title in enumerate(["Select", "Function", "Data", "Command to Send", "Reply", "Note"]):
    sheet.write(0, column, title)
sheet.write(1, 0, "Yes")
sheet.write(1, 1, "F105")
sheet.write(1, 2, 1.5)
sheet.write(2, 1, 230)
sheet.write(2, 3, "010300000001")
sheet.write(3, 5, "Grüße")
sheet.write(250, 0, "far below")
book.add_sheet("Second").write(0, 0, "not the first sheet")
book.save(sys.argv[1])
)PY";

// Builds damaged packages from a good one (argv[1]) into argv[2]: the kind
// of damage is argv[3].
const char *const Damage = R"PY(
import sys, zipfile
source_path, path, kind = sys.argv[1], sys.argv[2], sys.argv[3]
with zipfile.ZipFile(source_path) as source:
    parts = {name: source.read(name) for name in source.namelist()}
sheet = "xl/worksheets/sheet1.xml"
if kind == "malformed":
    parts[sheet] = parts[sheet].replace(b"</sheetData>", b"<row></sheetData>")
elif kind == "huge-reference":
    parts[sheet] = parts[sheet].replace(b"</sheetData>", b'<row r="1000000000"><c r="A1000000000" t="inlineStr"><is><t>x</t></is></c></row></sheetData>')
elif kind == "huge-column":
    parts[sheet] = parts[sheet].replace(b"</sheetData>", b'<row r="3"><c r="ZZZZ3" t="inlineStr"><is><t>x</t></is></c></row></sheetData>')
elif kind == "bad-shared-index":
    parts[sheet] = parts[sheet].replace(b"</sheetData>", b'<row r="3"><c r="A3" t="s"><v>99999</v></c></row></sheetData>')
elif kind == "bomb":
    # about 80 MB of blanks that deflate to a few dozen kilobytes
    parts[sheet] = parts[sheet].replace(b"</sheetData>", b"</sheetData>" + b" " * (80 * 1024 * 1024))
elif kind == "no-workbook":
    del parts["xl/workbook.xml"]
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as target:
    for name, data in parts.items():
        target.writestr(name, data)
)PY";

TextTable SampleGrid() {
  TextTable rows;
  rows << QStringList{"Select", "Function", "Data", "Command to Send", "Reply", "Note"};
  for (int row = 1; row < 36; ++row)
    rows << QStringList{row % 2 ? "Yes" : "No",
                        QString("F1%1").arg(row, 2, 10, QChar('0')),
                        row == 3 ? "1.50" : "",
                        row == 4 ? "010300000001" : "",
                        "",
                        ""};
  rows[5][5] = "Grüße & <tags> \"quoted\"";
  rows[6][5] = "_x0041_ stays literal";
  rows[7][5] = "  leading and trailing  ";
  rows[35][4] = "last row";
  return rows;
}

} // namespace

class TestWorkbook : public QObject {
  Q_OBJECT
private slots:
  void extensionRule() {
    QCOMPARE(WithWorkbookExtension("cmds"), QString("cmds.xlsx"));
    QCOMPARE(WithWorkbookExtension("/tmp/cmds.xlsx"), QString("/tmp/cmds.xlsx"));
    QCOMPARE(WithWorkbookExtension("cmds.XLSX"), QString("cmds.XLSX.xlsx"));
    QCOMPARE(WithWorkbookExtension("cmds.xls"), QString("cmds.xls.xlsx"));
    QCOMPARE(WithWorkbookExtension("cmds.xlsx.bak"), QString("cmds.xlsx.bak.xlsx"));
  }

  // Our export read by an independent reader: every text in its cell, grid
  // row r in sheet row r + 1, on a sheet named after the grid; and read back
  // by our import into the cells it came from.
  void exportIsReadByOpenpyxl() {
    QTemporaryDir dir;
    const QString path = dir.filePath("cmds.xlsx");
    const TextTable grid = SampleGrid();
    QVERIFY(WriteWorkbook(path, {{"StringGrid1", grid}}));

    const QJsonObject dump = QJsonDocument::fromJson(RunPython(DumpWithOpenpyxl, {path})).object();
    QCOMPARE(dump.value("sheets").toArray(), QJsonArray{"StringGrid1"});
    const QJsonObject cells = dump.value("cells").toObject();
    int nonEmpty = 0;
    for (int row = 0; row < grid.size(); ++row) {
      for (int column = 0; column < 6; ++column) {
        const QString reference = QString(QChar('A' + column)) + QString::number(row + 1);
        const QString text = grid[row][column];
        if (text.isEmpty()) {
          QVERIFY2(!cells.contains(reference), qPrintable(reference));
          continue;
        }
        ++nonEmpty;
        const QJsonArray cell = cells.value(reference).toArray();
        QCOMPARE(cell.at(0).toString(), QString("s")); // stored as text, "1.50" included
        // A text that looks like one of the format's _xHHHH_ escapes reads
        // back exactly as typed.
        QCOMPARE(cell.at(1).toString(), text);
      }
    }
    QCOMPARE(cells.size(), nonEmpty);

    const std::optional<TextTable> back = ReadWorkbook(path, 201, 6);
    QVERIFY(back.has_value());
    QCOMPARE(back->size(), 201);
    for (int row = 0; row < 201; ++row)
      QCOMPARE(back->at(row), row < grid.size() ? grid[row] : QStringList(QList<QString>(6)));
  }

  void exportReplacesOnlyWhenComplete() {
    QTemporaryDir dir;
    const QString path = dir.filePath("cmds.xlsx");
    QFile existing(path);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("old content");
    existing.close();
    // A sheet name the format does not allow: nothing is written and the
    // existing file survives.
    QVERIFY(!WriteWorkbook(path, {{"bad[name]", SampleGrid()}}));
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("old content"));
    existing.close();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"cmds.xlsx"});
    // A folder that does not exist
    QVERIFY(!WriteWorkbook(dir.filePath("missing/cmds.xlsx"), {{"StringGrid1", SampleGrid()}}));
    // A good export replaces the file.
    QVERIFY(WriteWorkbook(path, {{"StringGrid1", SampleGrid()}}));
    QVERIFY(ReadWorkbook(path, 1, 6).has_value());
  }

  void importsOpenpyxlWorkbook() {
    QTemporaryDir dir;
    const QString path = dir.filePath("from-python.xlsx");
    QVERIFY(RunPython(WriteWithOpenpyxl, {path}) != "FAILED");
    const std::optional<TextTable> table = ReadWorkbook(path, 201, 6);
    QVERIFY(table.has_value());
    QCOMPARE(table->size(), 201);
    const TextTable &t = *table;
    QCOMPARE(t[0], (QStringList{"Select", "Function", "Data", "Command to Send", "Reply", "Note"}));
    QCOMPARE(t[1],
             (QStringList{"Yes", "F105", "1.5", "", "", "first"})); // rich runs joined, phonetics left out
    QCOMPARE(t[2], (QStringList{"No", "230", "150", "010300000001", "", ""}));
    QCOMPARE(t[4][5], QString("Grüße & <tags>"));
    QCOMPARE(t[6][1], QString("inline"));
    QCOMPARE(t[6][2], QString("rich"));
    QCOMPARE(t[7][0], QString("no ref A"));
    QCOMPARE(t[7][1], QString("no ref B"));
    QCOMPARE(t[8][3], QString("row without number"));
    QCOMPARE(t[9][4], QString("TRUE"));
    QCOMPARE(t[9][5], QString("0.3"));
    QCOMPARE(t[200], QStringList(QList<QString>(6))); // row 300 lies outside the window
    for (const QStringList &row : t)
      QVERIFY(!row.contains("not the first sheet") && !row.contains("beyond the sixth column"));

    // The user's decimal separator replaces the point in numbers only.
    const std::optional<TextTable> comma = ReadWorkbook(path, 3, 6, ",");
    QVERIFY(comma.has_value());
    QCOMPARE(comma->at(1)[2], QString("1,5"));
    QCOMPARE(comma->at(2)[3], QString("010300000001"));
  }

  void importsLegacyWorkbook() {
    QTemporaryDir dir;
    const QString path = dir.filePath("legacy.xls");
    QVERIFY(RunPython(WriteWithXlwt, {path}) != "FAILED");
    const std::optional<TextTable> table = ReadWorkbook(path, 201, 6);
    QVERIFY(table.has_value());
    const TextTable &t = *table;
    QCOMPARE(t.size(), 201);
    QCOMPARE(t[0], (QStringList{"Select", "Function", "Data", "Command to Send", "Reply", "Note"}));
    QCOMPARE(t[1], (QStringList{"Yes", "F105", "1.5", "", "", ""}));
    QCOMPARE(t[2], (QStringList{"", "230", "", "010300000001", "", ""}));
    QCOMPARE(t[3][5], QString("Grüße"));
    QCOMPARE(t[200], QStringList(QList<QString>(6)));

    // Truncated in the middle: not a workbook any more.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.resize(file.size() / 2);
    file.close();
    QVERIFY(!ReadWorkbook(path, 201, 6).has_value());
  }

  // The menu items on the main window: the replace question, the extension,
  // the message for an unreadable file with the grid left as it was, and an
  // import that grows the grid to hold every imported command.
  void menuItemsOnTheGrid() {
    QTemporaryDir dir;
    QTemporaryDir programFolder;
    AppPaths::SetProgramFolder(programFolder.path());
    DialogRecorder dialogs;
    if (!Form1)
      CreateApplicationWindows();
    dialogs.Clear();
    QTableWidget *grid = Form1->StringGrid1;
    grid->setRowCount(36);
    for (int row = 1; row < 36; ++row)
      for (int column = 0; column < 6; ++column)
        Form1->SetGridText(row, column, column == 0 ? "No" : QString("r%1c%2").arg(row).arg(column));

    // export to a name without extension
    dialogs.QueuePath(dir.filePath("cmds"));
    Form1->Export1Click();
    QVERIFY(QFileInfo::exists(dir.filePath("cmds.xlsx")));
    QCOMPARE(dialogs.requests.first().filter, QString("Excel File(*.xlsx)|*.xlsx"));
    QVERIFY(dialogs.Texts().isEmpty());
    const std::optional<TextTable> written = ReadWorkbook(dir.filePath("cmds.xlsx"), 36, 6);
    QVERIFY(written.has_value());
    QCOMPARE(written->at(0).at(3), QString("Command to Send"));
    QCOMPARE(written->at(35).at(5), QString("r35c5"));

    // onto the existing file: No leaves it untouched, Yes replaces it
    QFile existing(dir.filePath("cmds.xlsx"));
    QVERIFY(existing.open(QIODevice::WriteOnly | QIODevice::Truncate));
    existing.write("keep me");
    existing.close();
    dialogs.Clear();
    dialogs.QueuePath(dir.filePath("cmds.xlsx"));
    dialogs.QueueAnswer(false);
    QVERIFY(!Form1->ExportGridsToWorkbook({grid}));
    QCOMPARE(dialogs.requests.last().kind, Dialogs::Kind::YesNo);
    QCOMPARE(dialogs.requests.last().caption, QString("Question"));
    QCOMPARE(dialogs.LastText(), QString("Are you sure to verride existing file") + QChar(0xFF1F));
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("keep me"));
    existing.close();
    dialogs.QueuePath(dir.filePath("cmds"));
    dialogs.QueueAnswer(true);
    QVERIFY(Form1->ExportGridsToWorkbook({grid}));
    QVERIFY(ReadWorkbook(dir.filePath("cmds.xlsx"), 36, 6).has_value());
    dialogs.QueuePath(QString()); // cancelled
    QVERIFY(Form1->ExportGridsToWorkbook({grid}));

    // the import dialog lists the workbook written above once the user has
    // gone to its folder; a click on it and Enter import it
    Form1->SetGridText(35, 5, "changed");
    QStringList offered;
    dialogs.onFileDialog = [&](QFileDialog *dialog) {
      auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
      QVERIFY(name);
      // the folder pasted in one go, as typing its first "/" goes to the root
      QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, dir.path() + "/", Qt::NoModifier);
      QTest::keyClick(name, Qt::Key_Return);
      QTRY_VERIFY_WITH_TIMEOUT(DialogRecorder::ListedFiles(dialog).contains("cmds.xlsx"), 20000);
      offered = DialogRecorder::ListedFiles(dialog);
      // The file dialog shows its files as a list or in detail, as it was
      // left last time by any program of this user; the click goes to the
      // view that shows.
      QAbstractItemView *view = dialog->findChild<QListView *>("listView");
      if (!view->isVisible())
        view = dialog->findChild<QTreeView *>("treeView");
      QVERIFY(view && view->isVisible());
      const QModelIndex root = view->rootIndex();
      for (int row = 0; row < view->model()->rowCount(root); ++row) {
        const QModelIndex file = view->model()->index(row, 0, root);
        if (file.data().toString() == "cmds.xlsx")
          QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(file).center());
      }
      QCOMPARE(name->text(), QString("cmds.xlsx"));
      QTest::keyClick(name, Qt::Key_Return);
    };
    Form1->ImportClick();
    dialogs.onFileDialog = nullptr;
    QCOMPARE(offered, QStringList{"cmds.xlsx"});
    QCOMPARE(Form1->GridText(35, 5), QString("r35c5"));

    // unreadable and damaged files: the message, and the grid as it was
    QFile broken(dir.filePath("broken.xlsx"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("PK\x03\x04 this is no zip");
    broken.close();
    const QString damaged = qEnvironmentVariable("VDD_SOURCE_DIR") +
                            "/fuzz/corpus/fuzz_workbook_import/xls_reader_stack_overrun.xls";
    for (const QString &path : {broken.fileName(), dir.filePath("missing.xls"), damaged}) {
      dialogs.Clear();
      dialogs.QueuePath(path);
      Form1->ImportClick();
      QCOMPARE(dialogs.requests.first().filter, QString("Excel files (*.xls;*.xlsx)|*.xls;*.xlsx"));
      QCOMPARE(dialogs.requests.last().kind, Dialogs::Kind::Error);
      QCOMPARE(dialogs.LastText(), path + " not  found!");
      QCOMPARE(grid->rowCount(), 36);
      QCOMPARE(Form1->GridText(0, 0), QString("Select"));
      QCOMPARE(Form1->GridText(7, 2), QString("r7c2"));
    }

    // a longer list: the grid grows to hold it, and the title row comes from the sheet
    TextTable longer;
    longer << QStringList{"", "Function"};
    for (int row = 1; row < 50; ++row)
      longer << QStringList{"Yes", QString("F1%1").arg(row % 100, 2, 10, QChar('0'))};
    QVERIFY(WriteWorkbook(dir.filePath("long.xlsx"), {{"Sheet1", longer}}));
    dialogs.Clear();
    dialogs.QueuePath(dir.filePath("long.xlsx"));
    Form1->ImportClick();
    QVERIFY(dialogs.Texts().isEmpty());
    QCOMPARE(grid->rowCount(), 50);
    QCOMPARE(Form1->GridText(0, 0), QString()); // an empty first sheet row empties the title
    QCOMPARE(Form1->GridText(0, 1), QString("Function"));
    QCOMPARE(Form1->GridText(49, 1), QString("F149"));
    QCOMPARE(Form1->GridText(7, 2), QString()); // empty sheet cells empty the grid
  }

  void damagedWorkbooksAreRefused() {
    QTemporaryDir dir;
    const QString good = dir.filePath("good.xlsx");
    QVERIFY(WriteWorkbook(good, {{"StringGrid1", SampleGrid()}}));
    QVERIFY(ReadWorkbook(good, 201, 6).has_value());

    for (const char *kind :
         {"malformed", "huge-reference", "huge-column", "bad-shared-index", "bomb", "no-workbook"}) {
      const QString path = dir.filePath(QString("%1.xlsx").arg(kind));
      QVERIFY(RunPython(Damage, {good, path, kind}) != "FAILED");
      QVERIFY2(!ReadWorkbook(path, 201, 6).has_value(), kind);
    }

    // A zip cut short
    QFile source(good);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    for (qsizetype keep : {bytes.size() - 30, bytes.size() / 2, qsizetype(10)}) {
      QFile cut(dir.filePath("cut.xlsx"));
      QVERIFY(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
      cut.write(bytes.left(keep));
      cut.close();
      QVERIFY2(!ReadWorkbook(cut.fileName(), 201, 6).has_value(), qPrintable(QString::number(keep)));
    }
    // Not a workbook at all, an empty file, a missing file, a folder
    QFile text(dir.filePath("notes.xlsx"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("Select;Function;Data\n");
    text.close();
    QVERIFY(!ReadWorkbook(text.fileName(), 201, 6).has_value());
    QFile empty(dir.filePath("empty.xls"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QVERIFY(!ReadWorkbook(empty.fileName(), 201, 6).has_value());
    QVERIFY(!ReadWorkbook(dir.filePath("missing.xlsx"), 201, 6).has_value());
    QVERIFY(!ReadWorkbook(dir.path(), 201, 6).has_value());

    // .xls files on which the reader library reads past its own buffers
    const QDir crashes(qEnvironmentVariable("VDD_SOURCE_DIR") + "/fuzz/corpus/fuzz_workbook_import");
    const QStringList found = crashes.entryList({"xls_reader_*.xls"}, QDir::Files);
    QVERIFY(found.size() >= 3);
    for (const QString &name : found) {
      WorkbookRefusal refusal;
      QVERIFY2(!ReadWorkbook(crashes.filePath(name), 201, 6, ".", &refusal).has_value(), qPrintable(name));
      QVERIFY2(refusal.damaged, qPrintable(name));
      QVERIFY(!refusal.readerEnd.isEmpty());
    }
  }

  // What the .xls reading process sends back is taken only when it is whole
  // and holds exactly the window asked for.
  void readerAnswers() {
    const TextTable table{{"Select", "Function", ""}, {"Yes", "F105", "Grüße"}};
    const QByteArray answer = EncodeSheetAnswer(table);
    SheetAnswer back = DecodeSheetAnswer(answer, 2, 3);
    QCOMPARE(back.kind, SheetAnswer::Table);
    QCOMPARE(back.table, table);
    QCOMPARE(DecodeSheetAnswer(EncodeSheetAnswer(std::nullopt), 2, 3).kind, SheetAnswer::Refused);

    QCOMPARE(DecodeSheetAnswer(answer.chopped(1), 2, 3).kind, SheetAnswer::Garbled);
    QCOMPARE(DecodeSheetAnswer(answer + '\0', 2, 3).kind, SheetAnswer::Garbled);
    QCOMPARE(DecodeSheetAnswer(answer, 3, 3).kind, SheetAnswer::Garbled);
    QCOMPARE(DecodeSheetAnswer(answer, 2, 2).kind, SheetAnswer::Garbled);
    QCOMPARE(DecodeSheetAnswer(QByteArray(), 2, 3).kind, SheetAnswer::Garbled);
    QCOMPARE(DecodeSheetAnswer("R?", 2, 3).kind, SheetAnswer::Garbled);
    // a count with nothing behind it
    QCOMPARE(DecodeSheetAnswer(QByteArray("T\x7f\xff\xff\xfe", 5), 2, 3).kind, SheetAnswer::Garbled);
  }
};

VDD_TEST_MAIN(TestWorkbook)
#include "test_workbook.moc"
