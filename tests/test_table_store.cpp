#include "params/Rm40Parameters.h"
#include "protocol/ConvertError.h"
#include "settings/DataFolder.h"
#include "settings/DbfFile.h"
#include "settings/ShippedTables.h"
#include "settings/TableModel.h"
#include "settings/TableStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString FunctionQuery =
    "select CODE,NAME,MIN,MAX,DEFAULT,NOWDATA,MODIFY,WRITEABLE from %1 where NAME is not NULL order by CODE ";
const QString FullFunctionQuery =
    "select CODE,NAME,MIN,MAX,DEFAULT,NOWDATA,MODIFY,WRITEABLE from %1 order by CODE ";

const std::vector<TDbfFieldDef> FunctionFields = {
    {"CODE", 'C', 10, 0},    {"NAME", 'C', 40, 0},    {"MIN", 'C', 12, 0},    {"MAX", 'C', 12, 0},
    {"DEFAULT", 'C', 12, 0}, {"NOWDATA", 'C', 12, 0}, {"MODIFY", 'C', 12, 0}, {"WRITEABLE", 'L', 1, 0}};

// A function table whose records are out of CODE order, two of them unnamed.
void WriteScratchFunctionTable(const QString &folder, const QString &name = "scratch.dbf") {
  const std::vector<std::vector<TDbfValue>> records = {
      {"F115", "Dec Time", "0.1", "3000.0", "10.0", std::nullopt, std::nullopt, "T"},
      {"F002", std::nullopt, "--", "--", "--", std::nullopt, std::nullopt, "F"},
      {"F113", "Frequency", "0.00", "400.00", "50.00", "40.00", "40.00", "T"},
      {"FA03", "PID Upper Limit", "0.0", "100.0", "100.0", std::nullopt, std::nullopt, "T"},
      {"F114", "Acc Time", "0.1", "3000.0", "10.0", std::nullopt, std::nullopt, "T"},
      {"F001", std::nullopt, "--", "--", "--", std::nullopt, std::nullopt, "F"},
      {"F121", "Reserved", "--", "--", "--", std::nullopt, std::nullopt, "F"},
      {"F100", "Password", "0", "9999", "8", std::nullopt, std::nullopt, "F"},
  };
  QVERIFY(CreateDbfTable((folder + "/" + name).toStdString(), FunctionFields, records, true));
}

QStringList Codes(TTableQuery &query) {
  QStringList codes;
  for (query.First(); !query.Eof(); query.Next())
    codes << query.FieldByName("CODE").AsString();
  return codes;
}

QByteArray ReadFile(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(bytes), bytes.size());
}

// Runs the system Python with a script; returns its standard output.
QByteArray RunPython(const QString &script, const QStringList &args = {}) {
  QProcess python;
  python.start("/usr/bin/python3", QStringList{"-c", script} + args);
  if (!python.waitForFinished(120000) || python.exitCode() != 0) {
    qWarning() << python.readAllStandardError();
    return {};
  }
  return python.readAllStandardOutput();
}

// Every record of a table as dbfread sees it: field -> value as text
// (None -> "", booleans "True"/"False").
const char *DbfreadDump = R"(
import json, sys
from dbfread import DBF
rows = []
for record in DBF(sys.argv[1], encoding='latin-1', char_decode_errors='strict'):
    row = {}
    for key, value in record.items():
        if value is None: value = ''
        elif isinstance(value, bool): value = 'True' if value else 'False'
        else: value = str(value)
        row[key] = value
    rows.append(row)
print(json.dumps(rows))
)";

} // namespace

class TestTableStore : public QObject {
  Q_OBJECT

  QTemporaryDir scratch_;
  QString folder_;
  TTableConnection connection_;

private slots:
  void init() {
    QVERIFY(scratch_.isValid());
    folder_ = scratch_.path() + "/" + QTest::currentTestFunction();
    QVERIFY(QDir().mkpath(folder_));
    connection_.Close();
    connection_.SetConnectionString(TTableConnection::ConnectionTextFor(folder_));
    connection_.Open();
    QVERIFY(connection_.Connected());
    QCOMPARE(connection_.Folder(), folder_);
  }

  void functionTableQueryFiltersAndSorts() {
    WriteScratchFunctionTable(folder_);
    TTableQuery query(&connection_);
    query.SetSQL(FunctionQuery.arg("scratch.dbf"));
    query.Open();
    QCOMPARE(query.RecordCount(), 6);
    QCOMPARE(Codes(query), QStringList({"F100", "F113", "F114", "F115", "F121", "FA03"}));
    QCOMPARE(query.FieldCount(), 8);
    QCOMPARE(query.FieldName(7), QString("WRITEABLE"));

    query.First();
    query.MoveBy(1);
    QCOMPARE(query.RecNo(), 2);
    QCOMPARE(query.FieldByName("name").AsString(), QString("Frequency"));
    QCOMPARE(query.FieldByName("NOWDATA").AsString(), QString("40.00"));
    QVERIFY(query.FieldByName("WRITEABLE").AsBoolean());
    QCOMPARE(query.FieldByName("WRITEABLE").AsString(), QString("True"));
    query.Next();
    QVERIFY(query.FieldByName("NOWDATA").IsNull());
    QCOMPARE(query.FieldByName("NOWDATA").AsString(), QString());
    query.First();
    QVERIFY(!query.FieldByName("WRITEABLE").AsBoolean());
    QCOMPARE(query.FieldByName("MAX").AsInteger(), 9999);

    // without the where clause the unnamed records are listed too
    query.Close();
    query.SetSQL(FullFunctionQuery.arg("SCRATCH.DBF"));
    query.Open();
    QCOMPARE(Codes(query), QStringList({"F001", "F002", "F100", "F113", "F114", "F115", "F121", "FA03"}));
    query.First();
    QVERIFY(query.FieldByName("NAME").IsNull());

    // all records in file order
    query.SetSQL("select * from scratch.dbf");
    query.Open();
    QCOMPARE(query.RecordCount(), 8);
    QCOMPARE(query.FieldByName("CODE").AsString(), QString("F115"));
  }

  void navigationStopsAtTheEnds() {
    WriteScratchFunctionTable(folder_);
    TTableQuery query(&connection_);
    query.SetSQL(FunctionQuery.arg("scratch.dbf"));
    query.Open();
    query.First();
    query.MoveBy(3);
    QCOMPARE(query.RecNo(), 4);
    QVERIFY(!query.Eof());
    query.MoveBy(100);
    QCOMPARE(query.RecNo(), 6);
    QVERIFY(query.Eof());
    QCOMPARE(query.FieldByName("CODE").AsString(), QString("FA03"));
    query.Next();
    QCOMPARE(query.RecNo(), 6);
    query.MoveBy(-100);
    QCOMPARE(query.RecNo(), 1);
    QVERIFY(query.Bof());
    query.Prior();
    QCOMPARE(query.RecNo(), 1);
    query.Last();
    QCOMPARE(query.FieldByName("CODE").AsString(), QString("FA03"));
    query.SetRecNo(3);
    QCOMPARE(query.FieldByName("CODE").AsString(), QString("F114"));

    // an empty result has no current record
    query.SetSQL("select * from scratch.dbf where CODE is null");
    query.Open();
    QCOMPARE(query.RecordCount(), 0);
    QVERIFY(query.Eof());
    query.MoveBy(2);
    QCOMPARE(query.RecNo(), 0);
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, query.FieldByName("CODE").AsString());
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, query.Edit());
  }

  // Another program rewrote the open table with other fields: the edit is
  // refused and that program's file stays as it left it.
  void postRefusedAfterAnotherProgramChangedTheTable() {
    WriteScratchFunctionTable(folder_);
    TTableQuery query(&connection_);
    query.SetSQL(FunctionQuery.arg("scratch.dbf"));
    query.Open();
    query.First();
    query.Edit();
    query.FieldByName("MODIFY").SetAsString("1");
    // the same record layout, another meaning: only the field names tell
    std::vector<TDbfFieldDef> otherFields = FunctionFields;
    otherFields[6].name = "REMARK";
    const QString path = folder_ + "/scratch.dbf";
    QVERIFY(CreateDbfTable(path.toStdString(), otherFields, std::vector<std::vector<TDbfValue>>(8, {"F113"}),
                           true));
    const QByteArray theirs = ReadFile(path);
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, query.Post());
    QCOMPARE(ReadFile(path), theirs);
  }

  void bookmarkSurvivesReopen() {
    WriteScratchFunctionTable(folder_);
    TTableQuery query(&connection_);
    query.SetSQL(FunctionQuery.arg("scratch.dbf"));
    query.Open();
    query.First();
    query.MoveBy(4); // F121
    const TBookmark mark = query.GetBookmark();
    query.Edit();
    query.FieldByName("MODIFY").SetAsString("1");
    query.Post();
    query.Close();
    query.Open();
    QCOMPARE(query.RecNo(), 1);
    query.GotoBookmark(mark);
    QCOMPARE(query.RecNo(), 5);
    QCOMPARE(query.FieldByName("CODE").AsString(), QString("F121"));
    QCOMPARE(query.FieldByName("MODIFY").AsString(), QString("1"));
    query.FreeBookmark(mark);

    // a record the statement leaves out cannot be found
    query.SetSQL(FullFunctionQuery.arg("scratch.dbf"));
    query.Open();
    const TBookmark unnamed = query.GetBookmark(); // F001
    query.SetSQL(FunctionQuery.arg("scratch.dbf"));
    query.Open();
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, query.GotoBookmark(unnamed));
  }

  void editAndPostWriteAtOnce() {
    QVERIFY(CreateUsercmdTable(folder_.toStdString()));
    TTableQuery writer(&connection_);
    writer.SetSQL("select * from usercmd.dbf ");
    writer.Open();
    QCOMPARE(writer.RecordCount(), UserCommandRecords);
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, writer.FieldByName("COUNTNUM").SetAsInteger(2));
    writer.First();
    writer.Edit();
    writer.FieldByName("COUNTNUM").SetAsInteger(2);
    writer.FieldByName("VALIDNUM").SetAsInteger(2);
    writer.FieldByName("FUNC").SetAsString("Read");
    // a text wider than its field is refused, never cut
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, writer.FieldByName("SENDATA").SetAsString(QString(255, 'A')));
    writer.FieldByName("SENDATA").SetAsString(QString(254, 'A'));
    writer.Next(); // leaving the record keeps its edits for the next Post
    writer.Edit();
    writer.FieldByName("VALIDNUM").SetAsInteger(5);
    writer.FieldByName("NOTE").SetAsString("second");
    // the old file is never written into: a second name for it keeps the old
    // contents while the new table takes its place
    const QString table = folder_ + "/usercmd.dbf";
    const QByteArray before = ReadFile(table);
    QVERIFY(::link(table.toLocal8Bit().constData(), (folder_ + "/before.lnk").toLocal8Bit().constData()) ==
            0);
    writer.Post();
    QCOMPARE(ReadFile(folder_ + "/before.lnk"), before);
    QVERIFY(ReadFile(table) != before);
    QCOMPARE(ReadFile(table).size(), before.size());

    // another connection sees both records at once
    TTableConnection other;
    other.SetConnectionString(TTableConnection::ConnectionTextFor(folder_));
    other.Open();
    TTableQuery reader(&other);
    reader.SetSQL("select * from usercmd.dbf");
    reader.Open();
    QCOMPARE(reader.FieldByName("COUNTNUM").AsInteger(), 2);
    QCOMPARE(reader.FieldByName("VALIDNUM").AsInteger(), 2);
    QCOMPARE(reader.FieldByName("FUNC").AsString(), QString("Read"));
    QCOMPARE(reader.FieldByName("SENDATA").AsString(), QString(254, 'A'));
    reader.Next();
    QCOMPARE(reader.FieldByName("VALIDNUM").AsInteger(), 5);
    QCOMPARE(reader.FieldByName("NOTE").AsString(), QString("second"));
    QVERIFY(reader.FieldByName("COUNTNUM").IsNull());
    QCOMPARE(reader.FieldByName("COUNTNUM").AsInteger(), 0);

    // a number field refuses text; Cancel drops the edit of the record
    writer.First();
    writer.Edit();
    QVERIFY_THROWS_EXCEPTION(EConvertError, writer.FieldByName("COUNTNUM").SetAsString("two"));
    // as does a number wider than the field, before anything is pending
    QVERIFY_THROWS_EXCEPTION(EConvertError, writer.FieldByName("COUNTNUM").SetAsString("12345678901"));
    writer.FieldByName("FUNC").SetAsString("Write");
    writer.Cancel();
    QCOMPARE(writer.FieldByName("FUNC").AsString(), QString("Read"));
    // Close writes what was left pending; Clear empties a value
    writer.Edit();
    writer.FieldByName("FUNC").Clear();
    writer.FieldByName("YESORNO").SetAsBoolean(true);
    writer.Close();
    reader.Open();
    QVERIFY(reader.FieldByName("FUNC").IsNull());
    QVERIFY(reader.FieldByName("YESORNO").AsBoolean());
    QCOMPARE(reader.FieldByName("YESORNO").AsString(), QString("True"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, reader.FieldByName("YESORNO").AsInteger());
  }

  void settingsTablesRoundTrip() {
    QVERIFY(CreateComProTable(folder_.toStdString()));
    TTableQuery query(&connection_);
    query.SetSQL("select * from com_pro.dbf");
    query.Open();
    QCOMPARE(query.RecordCount(), 8);
    QCOMPARE(query.FieldByName("TX610").AsInteger(), 1);
    QCOMPARE(query.FieldByName("TX930").AsString(), QString("."));
    query.MoveBy(2);
    QCOMPARE(query.FieldByName("TX610").AsInteger(), 3);
    query.MoveBy(4);
    QCOMPARE(query.FieldByName("TX610").AsInteger(), 1000);
    query.Next();
    QCOMPARE(query.FieldByName("TX610").AsInteger(), 500);
    QVERIFY(!query.FieldByName("TX710_B").AsBoolean());
    // flags stored as booleans come back as booleans, numbers as their text
    query.Edit();
    query.FieldByName("TX710_B").SetAsBoolean(true);
    query.FieldByName("TX820").SetAsBoolean(true);
    query.FieldByName("TX610").SetAsInteger(750);
    query.Post();
    query.Close();
    query.Open();
    query.Last();
    QVERIFY(query.FieldByName("TX710_B").AsBoolean());
    QVERIFY(!query.FieldByName("TX820_W").AsBoolean());
    QVERIFY(query.FieldByName("TX820").AsBoolean());
    QCOMPARE(query.FieldByName("TX610").AsString(), QString("750"));

    QVERIFY(CreateDsparaTable(folder_.toStdString()));
    query.SetSQL("select * from dspara.dbf");
    query.Open();
    QCOMPARE(query.FieldByName("SLAVE_ADR").AsInteger(), 0);
    query.MoveBy(query.FieldByName("SLAVE_ADR").AsInteger() + 1);
    const QStringList expected = {"1", "40.00", "30.0", "30.0", "5.00", "10.0", "10.0"};
    const QStringList fields = {"SLAVE_ADR", "FREQ",    "ACC_TIME", "DEC_TIME",
                                "JOG_FREQ",  "JOG_ACC", "JOG_DEC"};
    for (int i = 0; i < fields.size(); ++i)
      QCOMPARE(query.FieldByName(fields[i]).AsString(), expected[i]);
  }

  void clearErrorsAndNoCrash() {
    WriteScratchFunctionTable(folder_);
    TTableQuery query(&connection_);
    const auto expectError = [&](const QString &sql, const QString &message) {
      query.SetSQL(sql);
      try {
        query.Open();
        QFAIL(qPrintable("no error for " + sql));
      } catch (const ETableStoreError &e) {
        QVERIFY2(QString(e.what()).contains(message), e.what());
      }
      QVERIFY(!query.Active());
    };
    expectError("delete from scratch.dbf", "Unsupported statement");
    expectError("select * from scratch.dbf where NAME = 'x'", "Unsupported statement");
    expectError("select CODE NAME from scratch.dbf", "Unsupported statement");
    expectError("select * from missing.dbf", "Table 'missing.dbf' not found in " + folder_);
    expectError("select CODE,FOO from scratch.dbf", "Unknown field 'FOO'");
    expectError("select * from scratch.dbf order by BAR", "Unknown field 'BAR'");
    expectError("select * from scratch.dbf where BAZ is not null", "Unknown field 'BAZ'");
    query.SetSQL("select * from scratch.dbf");
    query.Open();
    try {
      query.FieldByName("FOO");
      QFAIL("no error for an unknown field");
    } catch (const ETableStoreError &e) {
      QCOMPARE(QString(e.what()), QString("Unknown field 'FOO'"));
    }
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, query.SetColumnVisible("FOO", false));

    TTableConnection nowhere;
    nowhere.SetConnectionString(TTableConnection::ConnectionTextFor(folder_ + "/absent"));
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, nowhere.Open());
    nowhere.SetConnectionString("Provider=MSDASQL.1;Data Source=Excel Files;Initial Catalog=" + folder_);
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, nowhere.Open());
    TTableQuery unconnected(&nowhere);
    unconnected.SetSQL("select * from scratch.dbf");
    QVERIFY_THROWS_EXCEPTION(ETableStoreError, unconnected.Open());

    // damaged files
    const QByteArray good = ReadFile(folder_ + "/scratch.dbf");
    QVERIFY(good.size() > 300);
    const auto expectDamaged = [&](const QByteArray &bytes, const char *what) {
      WriteFile(folder_ + "/bad.dbf", bytes);
      query.SetSQL("select * from bad.dbf");
      try {
        query.Open();
        QFAIL(what);
      } catch (const ETableStoreError &e) {
        QVERIFY2(QString(e.what()).contains("bad.dbf"), e.what());
      }
    };
    expectDamaged(QByteArray(), "empty file");
    expectDamaged(good.left(good.size() - 40), "truncated records");
    expectDamaged(good.left(100), "truncated header");
    expectDamaged(QByteArray(4096, 'x'), "garbage");
    QByteArray wrongRecordLength = good;
    wrongRecordLength[10] = static_cast<char>(wrongRecordLength[10] + 1);
    expectDamaged(wrongRecordLength, "record length");
    QByteArray hugeHeader = good;
    hugeHeader[9] = static_cast<char>(0x7F);
    expectDamaged(hugeHeader, "header length");
    QByteArray hugeCount = good;
    hugeCount[7] = static_cast<char>(0x40);
    expectDamaged(hugeCount, "record count");

    // random damage to header and first records: an error or a result, never a crash
    std::mt19937 random(20261207);
    int opened = 0, refused = 0;
    for (int round = 0; round < 1500; ++round) {
      QByteArray bytes = good;
      const int changes = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < changes; ++i)
        bytes[static_cast<int>(random() % 400)] = static_cast<char>(random());
      if (random() % 4 == 0)
        bytes.truncate(static_cast<int>(random() % bytes.size()));
      WriteFile(folder_ + "/bad.dbf", bytes);
      try {
        query.Open();
        for (query.First(); !query.Eof(); query.Next())
          for (int f = 0; f < query.FieldCount(); ++f)
            (void)query.DisplayText(query.RecNo() - 1, f);
        ++opened;
      } catch (const ETableStoreError &) {
        ++refused;
      }
    }
    QVERIFY(opened > 0 && refused > 0);
  }

  void interruptedSaveLeavesWholeTable() {
    std::vector<std::vector<TDbfValue>> records(3000, {std::string("A"), std::string(60, 'A')});
    const std::vector<TDbfFieldDef> fields = {{"TAG", 'C', 1, 0}, {"TEXT", 'C', 60, 0}};
    QVERIFY(CreateDbfTable((folder_ + "/big.dbf").toStdString(), fields, records, true));
    for (int round = 0; round < 12; ++round) {
      const pid_t child = fork();
      QVERIFY(child >= 0);
      if (child == 0) {
        // rewrite every record, alternating A and B, until killed
        try {
          TTableQuery query(&connection_);
          query.SetSQL("select * from big.dbf");
          query.Open();
          for (int n = 0;; ++n) {
            const QString tag = n % 2 ? "A" : "B";
            for (query.First(); !query.Eof(); query.Next()) {
              query.Edit();
              query.FieldByName("TAG").SetAsString(tag);
              query.FieldByName("TEXT").SetAsString(QString(60, tag[0]));
            }
            query.Post();
          }
        } catch (...) {
        }
        _exit(1);
      }
      usleep(static_cast<useconds_t>(20000 + round * 7000));
      ::kill(child, SIGKILL);
      int status = 0;
      ::waitpid(child, &status, 0);
      QVERIFY(WIFSIGNALED(status)); // it was still writing, not failed

      TTableQuery reader(&connection_);
      reader.SetSQL("select * from big.dbf");
      reader.Open();
      QCOMPARE(reader.RecordCount(), 3000);
      const QString tag = reader.FieldByName("TAG").AsString();
      QVERIFY(tag == "A" || tag == "B");
      for (reader.First(); !reader.Eof(); reader.Next()) {
        QCOMPARE(reader.FieldByName("TAG").AsString(), tag);
        QCOMPARE(reader.FieldByName("TEXT").AsString(), QString(60, tag[0]));
      }
    }
    // the killed writers' half-written files go; a running writer's stay
    const QString running = QString(".~big.dbf.%1.0.tmp.dbf").arg(getpid());
    WriteFile(folder_ + "/" + running, "x");
    WriteFile(folder_ + "/.~big.dbf.999999999.3.tmp.dbf", "x"); // beyond any process id
    QCOMPARE(EnsureDataFolder(folder_), QString());
    QCOMPARE(QDir(folder_).entryList({".~*"}, QDir::Files | QDir::Hidden), QStringList{running});
  }

  void ensureDataFolderCreatesOnlyMissingTables() {
    const QString data = folder_ + "/database1/";
    QCOMPARE(EnsureDataFolder(data), QString());
    for (const char *name : {"com_pro.dbf", "dspara.dbf", "usercmd.dbf", "RM40.DBF"})
      QVERIFY2(QFile::exists(data + name), name);

    TTableConnection connection;
    connection.SetConnectionString(TTableConnection::ConnectionTextFor(data));
    connection.Open();
    TTableQuery query(&connection);
    query.SetSQL("select * from dspara.dbf");
    query.Open();
    query.Next();
    query.Edit();
    query.FieldByName("FREQ").SetAsString("45.00");
    query.Post();
    query.Close();
    const QByteArray modified = ReadFile(data + "dspara.dbf");
    QVERIFY(QFile::remove(data + "usercmd.dbf"));
    QVERIFY(QFile::rename(data + "RM40.DBF", data + "rm40.dbf"));

    QCOMPARE(EnsureDataFolder(data), QString());
    QCOMPARE(ReadFile(data + "dspara.dbf"), modified);
    QVERIFY(QFile::exists(data + "usercmd.dbf"));
    QVERIFY(!QFile::exists(data + "RM40.DBF")); // the lower-case table counts
    query.SetSQL("select * from usercmd.dbf");
    query.Open();
    QCOMPARE(query.RecordCount(), UserCommandRecords);
    QCOMPARE(query.FieldByName("COUNTNUM").AsInteger(), 0);

    // a folder that cannot be made is reported, not thrown
    WriteFile(folder_ + "/plainfile", "x");
    QVERIFY(!EnsureDataFolder(folder_ + "/plainfile/database1").isEmpty());
  }

  void shippedFunctionTableRecordNumbers() {
    QVERIFY(CreateRm40Table(folder_.toStdString()));
    QVERIFY(!CreateRm40Table(folder_.toStdString())); // an existing table stays
    TTableQuery query(&connection_);
    query.SetSQL(FullFunctionQuery.arg("RM40.DBF"));
    query.Open();
    QCOMPARE(query.RecordCount(), static_cast<int>(Rm40Parameters().size()));
    query.SetSQL(FunctionQuery.arg("RM40.DBF"));
    query.Open();
    int named = 0;
    for (const Rm40Parameter &p : Rm40Parameters())
      named += p.name ? 1 : 0;
    QCOMPARE(query.RecordCount(), named);
    const std::pair<const char *, int> common[] = {{"F113", 11}, {"F114", 12}, {"F115", 13},
                                                   {"F124", 21}, {"F125", 22}, {"F126", 23}};
    for (const auto &[code, row] : common) {
      query.First();
      query.MoveBy(row);
      QCOMPARE(query.FieldByName("CODE").AsString(), QString(code));
    }
    query.First();
    query.MoveBy(11);
    QCOMPARE(query.FieldByName("MIN").AsString(), QString("0.00"));
    QCOMPARE(query.FieldByName("MAX").AsString(), QString("400.00"));
    QVERIFY(query.FieldByName("NOWDATA").IsNull());
    QVERIFY(query.FieldByName("WRITEABLE").AsBoolean());
  }

  void gridModelFollowsQuery() {
    WriteScratchFunctionTable(folder_);
    TTableQuery query(&connection_);
    TTableModel model(&query);
    QCOMPARE(model.rowCount(), 0);
    QSignalSpy current(&model, &TTableModel::CurrentRowChanged);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    query.SetSQL(FunctionQuery.arg("scratch.dbf"));
    query.Open();
    QCOMPARE(model.rowCount(), 6);
    QCOMPARE(model.columnCount(), 8);
    query.SetColumnVisible("WRITEABLE", false);
    QCOMPARE(model.columnCount(), 7);
    QCOMPARE(model.headerData(6, Qt::Horizontal).toString(), QString("MODIFY"));
    QCOMPARE(model.ColumnField(0), QString("CODE"));
    QCOMPARE(model.data(model.index(1, 0)).toString(), QString("F113"));
    QVERIFY(!(model.flags(model.index(1, 6)) & Qt::ItemIsEditable));

    query.MoveBy(2);
    QCOMPARE(current.last().at(0).toInt(), 2);
    QVERIFY(model.data(model.index(2, 3), TTableModel::CurrentRowRole).toBool());
    QVERIFY(!model.data(model.index(0, 3), TTableModel::CurrentRowRole).toBool());
    model.SetCurrentRow(4);
    QCOMPARE(query.FieldByName("CODE").AsString(), QString("F121"));
    QCOMPARE(model.CurrentRow(), 4);

    changed.clear();
    query.Edit();
    query.FieldByName("MODIFY").SetAsString("7");
    query.Post();
    QVERIFY(!changed.isEmpty());
    QCOMPARE(model.data(model.index(4, 6)).toString(), QString("7"));

    // reopening shows every column again; closing empties the grid
    query.Close();
    QCOMPARE(model.rowCount(), 0);
    query.Open();
    QCOMPARE(model.columnCount(), 8);
  }

  void peersReadAndWriteTheSameTables() {
    if (RunPython("import dbf, dbfread; print('ok')").trimmed() != "ok")
      QSKIP("python3-dbf / python3-dbfread missing (scripts/setup.sh installs them)");
    QCOMPARE(EnsureDataFolder(folder_), QString());
    // change a record so that a posted table is among those checked
    TTableQuery query(&connection_);
    query.SetSQL(FunctionQuery.arg("RM40.DBF"));
    query.Open();
    query.MoveBy(11);
    query.Edit();
    query.FieldByName("NOWDATA").SetAsString("45.00");
    query.FieldByName("MODIFY").SetAsString("45.00");
    query.Post();

    for (const char *name : {"com_pro.dbf", "dspara.dbf", "usercmd.dbf", "RM40.DBF"}) {
      const QByteArray json = RunPython(DbfreadDump, {folder_ + "/" + name});
      const QJsonArray rows = QJsonDocument::fromJson(json).array();
      query.SetSQL(QString("select * from ") + name);
      query.Open();
      QVERIFY2(rows.size() == query.RecordCount(), name);
      int row = 0;
      for (query.First(); row < rows.size(); query.Next(), ++row) {
        const QJsonObject theirs = rows[row].toObject();
        QCOMPARE(theirs.size(), query.FieldCount());
        for (int f = 0; f < query.FieldCount(); ++f)
          QCOMPARE(theirs.value(query.FieldName(f)).toString(), query.DisplayText(row, f));
      }
    }

    // a table written by Python's dbf package
    const QString script = R"(
import dbf, sys, datetime
t = dbf.Table(sys.argv[1], 'CODE C(6); NAME C(30); COUNT N(5,0); RATIO N(8,2); OK L', codepage='cp1252',
              dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append(('F113', 'Frequency', 12, 1.25, True))
t.append(('F002', '', -3, 0, False))
t.append(('F001', 'Caf\u00e9', 0, 99.5, None))
t.close()
)";
    RunPython(script + "print('written')", {folder_ + "/peer.dbf"});
    QVERIFY(QFile::exists(folder_ + "/peer.dbf"));
    query.SetSQL("select CODE,NAME,COUNT,RATIO,OK from peer.dbf where NAME is not NULL order by CODE ");
    query.Open();
    QCOMPARE(query.RecordCount(), 2);
    QCOMPARE(query.FieldByName("CODE").AsString(), QString("F001"));
    QCOMPARE(query.FieldByName("NAME").AsString(), QString("Caf\u00e9"));
    QCOMPARE(query.FieldByName("RATIO").AsFloat(), 99.5);
    QVERIFY(query.FieldByName("OK").IsNull());
    query.Next();
    QCOMPARE(query.FieldByName("COUNT").AsInteger(), 12);
    QCOMPARE(query.FieldByName("RATIO").AsString(), QString("1.25"));
    QVERIFY(query.FieldByName("OK").AsBoolean());
    query.Edit();
    query.FieldByName("RATIO").SetAsString("3.5");
    query.FieldByName("OK").SetAsBoolean(false);
    query.Post();
    const QJsonArray rows = QJsonDocument::fromJson(RunPython(DbfreadDump, {folder_ + "/peer.dbf"})).array();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].toObject().value("RATIO").toString(), QString("3.5"));
    QCOMPARE(rows[0].toObject().value("OK").toString(), QString("False"));
    QCOMPARE(rows[1].toObject().value("COUNT").toString(), QString("-3"));
  }
};

QTEST_GUILESS_MAIN(TestTableStore)
#include "test_table_store.moc"
