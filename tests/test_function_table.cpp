// The function table on its own, without the main window, over the
// delivered RM40 table in a scratch folder: loading, moving, finding a code,
// values kept by a run at line rate and the reopen that shows them.
#include "params/Rm40Parameters.h"
#include "session/FunctionTable.h"
#include "settings/ShippedTables.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

// CODE, NOWDATA and MODIFY of every record of a table in file order, as
// dbfread reads them (null as "").
const char *DbfreadRecords = R"(
import json, sys
from dbfread import DBF
print(json.dumps([[r['CODE'], r['NOWDATA'] or '', r['MODIFY'] or '']
                  for r in DBF(sys.argv[1], encoding='cp1252', char_decode_errors='strict')]))
)";

QJsonArray StoredRecords(const QString &path) {
  QProcess python;
  python.start("/usr/bin/python3", {"-c", DbfreadRecords, path});
  if (!python.waitForFinished(120000) || python.exitCode() != 0) {
    qWarning() << python.readAllStandardError();
    return {};
  }
  return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

QByteArray FileBytes(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int NamedRecords() {
  const auto &all = Rm40Parameters();
  return static_cast<int>(
      std::count_if(all.begin(), all.end(), [](const Rm40Parameter &p) { return p.name; }));
}

} // namespace

class TestFunctionTable : public QObject {
  Q_OBJECT

  QTemporaryDir scratch_;
  QString folder_;

private slots:
  void init() {
    QVERIFY(scratch_.isValid());
    folder_ = scratch_.path() + "/" + QTest::currentTestFunction() + "/";
    QVERIFY(QDir().mkpath(folder_));
    QVERIFY(CreateRm40Table(folder_.toStdString()));
  }

  void loadsMovesAndFindsCodes() {
    FunctionTable table;
    QSignalSpy opened(&table, &FunctionTable::Opened);
    table.Load(folder_, "RM40.DBF", false);
    QCOMPARE(table.RecordCount(), static_cast<int>(Rm40Parameters().size()));
    QCOMPARE(opened.takeFirst().at(0).toBool(), false); // an imported table shows WRITEABLE
    table.Load(folder_, "RM40.DBF", true);
    QCOMPARE(table.RecordCount(), NamedRecords());
    QVERIFY(table.RecordCount() < static_cast<int>(Rm40Parameters().size()));
    QCOMPARE(opened.takeFirst().at(0).toBool(), true);

    const int last = table.RecordCount() - 1;
    table.MoveTo(-3);
    QCOMPARE(table.CurrentRecord(), 0);
    table.MoveTo(last + 5);
    QCOMPARE(table.CurrentRecord(), last);
    table.MoveTo(11);
    QCOMPARE(table.Text("CODE"), QString("F113"));
    QCOMPARE(table.ShortCode(), QString("113"));
    QVERIFY(table.Writeable());
    table.MoveBy(-1);
    QCOMPARE(table.CurrentRecord(), 10);

    // A record that is not where it was expected is searched for; the
    // search leaves the current record where it was.
    table.MoveTo(40);
    QCOMPARE(table.FindCode("F113", 5), 11);
    QCOMPARE(table.FindCode("F114", 12), 12);
    QCOMPARE(table.FindCode("F1Z9", 11), -1);
    QCOMPARE(table.CurrentRecord(), 40);
  }

  void keptValuesReachTheFileWhole() {
    FunctionTable table;
    table.Load(folder_, "RM40.DBF", true);
    const QString path = folder_ + "RM40.DBF";
    const QByteArray delivered = FileBytes(path);
    const QMap<QString, QString> kept = {{"F113", "45.00"}, {"F114", "12.5"}, {"F115", "20.0"}};
    for (auto value = kept.begin(); value != kept.end(); ++value) {
      table.MoveTo(table.FindCode(value.key(), -1));
      table.KeepValues(value.value(), value.value());
    }
    QCOMPARE(table.Text("NOWDATA"), QString("20.0"));
    QCOMPARE(FileBytes(path), delivered); // kept, not yet written

    table.WriteKeptValues();
    const QJsonArray stored = StoredRecords(path);
    QCOMPARE(stored.size(), static_cast<qsizetype>(Rm40Parameters().size()));
    for (qsizetype record = 0; record < stored.size(); ++record) {
      const QJsonArray fields = stored[record].toArray();
      const QString code = fields[0].toString();
      QCOMPARE(code, QString(Rm40Parameters()[record].code));
      QCOMPARE(fields[1].toString(), kept.value(code));
      QCOMPARE(fields[2].toString(), kept.value(code));
    }

    // The reopen reads the file as stored and returns to the record.
    const int f114 = table.FindCode("F114", -1);
    table.MoveTo(table.RecordCount() - 1);
    QSignalSpy opened(&table, &FunctionTable::Opened);
    table.Reopen(f114);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.first().at(0).toBool(), true);
    QCOMPARE(table.CurrentRecord(), f114);
    QCOMPARE(table.Text("MODIFY"), QString("12.5"));
    table.Reopen(-1, false);
    QCOMPARE(opened.last().at(0).toBool(), false);
    QCOMPARE(table.CurrentRecord(), 0);
  }
};

QTEST_GUILESS_MAIN(TestFunctionTable)
#include "test_function_table.moc"
