// The traffic log: one CSV line per exchange of the history pane with its
// outcome, nothing but the last second lost when the program is killed, and
// the files pruned by age and by size.
#include "app/MainWindow.h"
#include "app/Widgets.h"
#include "app/drive/TUmotorPara.h"
#include "base/AppPaths.h"
#include "log/TrafficLog.h"
#include "log/TrafficLogLine.h"
#include "support/DialogRecorder.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>

namespace {
// The fields of one CSV line; quoted fields may hold commas and doubled quotes.
QStringList CsvFields(const QString &line) {
  QStringList fields;
  QString field;
  bool quoted = false;
  for (int i = 0; i < line.size(); ++i) {
    const QChar c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      field += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields << field;
      field.clear();
    } else {
      field += c;
    }
  }
  fields << field;
  return fields;
}

// The data lines of today's log in `dataFolder`, each split into its fields.
QList<QStringList> TodaysLog(const QString &dataFolder) {
  QFile file(dataFolder + "logs/" + TrafficLogWriter::FileName(QDate::currentDate()));
  QList<QStringList> lines;
  if (!file.open(QIODevice::ReadOnly))
    return lines;
  const QStringList text = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  for (int i = 1; i < text.size(); ++i) // the first line names the fields
    lines << CsvFields(text[i]);
  return lines;
}

enum Field { Time, Direction, Port, Mode, Request, Reply, Outcome, Reason, RoundTrip, FieldCount };

bool WriteFile(const QString &path, qint64 size) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size;
}

// The program scanning drive 1 until it is killed (the child of survivesKill).
int ScanUntilKilled(const QString &programFolder) {
  DialogRecorder dialogs;
  AppPaths::SetProgramFolder(programFolder);
  QDir().mkpath(AppPaths::DataFolder() + "ports");
  SimOptions options;
  DriveSimulator sim(options);
  if (!sim.Start() ||
      !QFile::link(QString::fromStdString(sim.SlavePath()), AppPaths::DataFolder() + "ports/COM2"))
    return 2;
  CreateApplicationWindows();
  Form1->show();
  QTimer::singleShot(500, [] {
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    std::printf("scanning\n");
    std::fflush(stdout);
  });
  return QApplication::exec();
}
} // namespace

class TestTrafficLog : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

private slots:
  void initTestCase() {
    QVERIFY(rig_.StartRunning(SimOptions{})); // the program's own timer runs the scan
  }

  void cleanupTestCase() { rig_.TearDown(); }

  // A scan of drive 1 that is answered, then answered with a bad checksum,
  // then not answered, and a request that cannot be framed: each exchange of
  // the pane is one line of the log with its outcome.
  void oneLinePerExchange() {
    const CommState &s = Form1->State;
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(s.AcceptedReplies >= 3, 20000);
    LineFaults faults;
    faults.corruptProbability = 1;
    rig_.sim->SetLineFaults(faults);
    QTRY_VERIFY_WITH_TIMEOUT(s.ErrorRecords >= 2, 20000);
    faults = LineFaults{};
    faults.dropProbability = 1;
    rig_.sim->SetLineFaults(faults);
    QTRY_VERIFY_WITH_TIMEOUT(s.TimeoutRecords >= 2, 20000);
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton); // Pause
    QTRY_VERIFY_WITH_TIMEOUT(!s.WaitingReply, 10000);
    rig_.sim->SetLineFaults(LineFaults{});
    Form1->SendFrame("0103100000010"); // odd number of digits: refused

    auto *log = Form1->findChild<TrafficLog *>("TrafficLog");
    QVERIFY(log != nullptr);
    log->Flush();
    const QList<QStringList> lines = TodaysLog(AppPaths::DataFolder());
    QCOMPARE(lines.size(), Form1->HistoryLineCount());
    int accepted = 0, errors = 0, timeouts = 0, refused = 0;
    for (int i = 0; i < lines.size(); ++i) {
      const QStringList &f = lines[i];
      QCOMPARE(f.size(), int(FieldCount));
      QVERIFY2(QDateTime::fromString(f[Time], "yyyy-MM-dd HH:mm:ss.zzz").isValid(), qPrintable(f[Time]));
      QCOMPARE(f[Direction], QString("request"));
      QCOMPARE(f[Port], QString("COM2"));
      QCOMPARE(f[Mode], QString("ASCII"));
      // the pane's line is the request and the reply as logged
      const QString pane = Form1->HistoryLine(i);
      QString shown = " Send  >   " + f[Request];
      if (f[Outcome] == "accepted" || f[Outcome] == "error reply")
        shown += "  ----- R >   " + f[Reply];
      else if (f[Outcome] == "no response")
        shown += "  -----> No response!   ";
      else
        shown += "  -----> Not sent: " + f[Reason] + "!   ";
      QVERIFY2(pane.endsWith(shown), qPrintable(pane + "\n" + shown));
      const bool answered = f[Outcome] == "accepted" || f[Outcome] == "error reply";
      QCOMPARE(!f[RoundTrip].isEmpty(), answered);
      if (answered)
        QVERIFY2(f[RoundTrip].toDouble() >= 0 && f[RoundTrip].toDouble() < 1000, qPrintable(f[RoundTrip]));
      if (f[Outcome] == "accepted") {
        ++accepted;
      } else if (f[Outcome] == "error reply") {
        ++errors;
        QCOMPARE(f[Reason], QString("wrong checksum"));
      } else if (f[Outcome] == "no response") {
        ++timeouts;
      } else {
        QCOMPARE(f[Outcome], QString("not sent"));
        QCOMPARE(f[Reason], QString("odd number of hex digits"));
        QCOMPARE(f[Request], QString("0103100000010"));
        ++refused;
      }
    }
    QCOMPARE(accepted, int(s.AcceptedReplies));
    QCOMPARE(errors, s.ErrorRecords);
    QCOMPARE(timeouts, s.TimeoutRecords);
    QCOMPARE(refused, 1);
    // the motor status table counts drive 1's exchanges since the scan started
    QCOMPARE(UmotorPara->Cell(1, TUmotorPara::RequestsColumn), QString::number(accepted + errors + timeouts));
    QCOMPARE(UmotorPara->Cell(1, TUmotorPara::AcceptedColumn), QString::number(accepted));
    QCOMPARE(UmotorPara->Cell(1, TUmotorPara::ErrorsColumn), QString::number(errors));
    QCOMPARE(UmotorPara->Cell(1, TUmotorPara::TimeoutsColumn), QString::number(timeouts));
  }

  // The round trip to the hundredth, as Qt writes it: halfway up.
  void roundTripText() {
    for (const double ms : {0.125, 2.375, 1.005, 17.0, 3.14159}) {
      TrafficLogLine line;
      line.roundTripMs = ms;
      QVERIFY(ExchangeCsvLine(line).endsWith(',' + QString::number(ms, 'f', 2)));
    }
  }

  // The disk fills up while the program scans (the file may not grow past
  // the size it had, plus part of a line): the status bar says so without
  // the window growing, and once there is room again the note goes and the
  // next line starts on a line of its own after the one that was cut.
  void fullDiskThenRoom() {
    const CommState &s = Form1->State;
    auto *log = Form1->findChild<TrafficLog *>("TrafficLog");
    QVERIFY(log != nullptr);
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(s.AcceptedReplies >= 1, 20000); // a line before the disk fills
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);   // Pause
    QTRY_VERIFY_WITH_TIMEOUT(!s.WaitingReply, 10000);
    log->Flush();
    const QString path = AppPaths::DataFolder() + "logs/" + TrafficLogWriter::FileName(QDate::currentDate());
    const int width = Form1->width();
    rlimit room{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &room), 0);
    std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
    rlimit full = room;
    full.rlim_cur = static_cast<rlim_t>(QFileInfo(path).size() + 40); // a few fields of a line
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
    const auto roomAgain = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &room); });
    const long long accepted = s.AcceptedReplies;
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(s.AcceptedReplies >= accepted + 2, 20000);
    log->Flush();
    auto *note = Form1->StatusBar1->findChild<TElidedLabel *>("TrafficLogNote");
    QVERIFY(note != nullptr);
    QTRY_VERIFY(note->isVisible());
    QVERIFY2(note->FullText().startsWith("Traffic log not written: " + path), qPrintable(note->FullText()));
    QVERIFY(note->text() == note->FullText() || note->toolTip() == note->FullText());
    QTest::qWait(100); // a layout that followed the note would have run by now
    QCOMPARE(Form1->width(), width);

    QCOMPARE(setrlimit(RLIMIT_FSIZE, &room), 0);
    QTRY_VERIFY_WITH_TIMEOUT(s.AcceptedReplies >= accepted + 4, 20000);
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton); // Pause
    QTRY_VERIFY_WITH_TIMEOUT(!s.WaitingReply, 10000);
    log->Flush();
    QTRY_VERIFY(!note->isVisible());
    const QList<QStringList> lines = TodaysLog(AppPaths::DataFolder());
    int whole = 0;
    {
      QFile f(path);
      f.open(QIODevice::ReadOnly);
      qDebug() << f.readAll().right(800);
    }
    for (const QStringList &f : lines) {
      QVERIFY2(f.size() <= int(FieldCount), qPrintable(f.join(',')));
      if (f.size() < int(FieldCount))
        continue;
      QVERIFY2(QDateTime::fromString(f[Time], "yyyy-MM-dd HH:mm:ss.zzz").isValid(), qPrintable(f.join(',')));
      ++whole;
    }
    QVERIFY(whole >= lines.size() - 1); // the one cut line
    QCOMPARE(lines.last().size(), int(FieldCount));
    QCOMPARE(lines.last()[Outcome], QString("accepted"));
  }

  // The program killed while it scans: every line of the log is whole, and
  // the newest is less than a second (plus one exchange) older than the kill.
  void survivesKill() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VDD_SCAN_UNTIL_KILLED", folder.path());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    QTRY_VERIFY2_WITH_TIMEOUT((output += child.readAllStandardOutput()).contains("scanning"),
                              qPrintable(output + child.readAllStandardError()), 30000);
    QTest::qWait(3000);
    const QDateTime killed = QDateTime::currentDateTime();
    child.kill(); // SIGKILL: no exit handling runs
    QVERIFY(child.waitForFinished());

    const QList<QStringList> lines = TodaysLog(QDir(folder.path()).filePath("database1/"));
    QVERIFY2(lines.size() >= 3, qPrintable(QString::number(lines.size())));
    for (const QStringList &f : lines) {
      QCOMPARE(f.size(), int(FieldCount));
      QCOMPARE(f[Outcome], QString("accepted"));
    }
    const QDateTime newest = QDateTime::fromString(lines.last()[Time], "yyyy-MM-dd HH:mm:ss.zzz");
    // The newest exchange that could be in the file started up to one scan
    // step (about 0.7 s: ticks and the 500 ms reply window) before it ended,
    // and it ends when its reply window has passed: beyond the one second
    // allowed, that much again is no loss.
    const qint64 lostMs = newest.msecsTo(killed);
    QVERIFY2(lostMs < 1000 + 1200, qPrintable(QString::number(lostMs)));
  }

  // Files older than the age limit go, then the oldest until the size limit
  // holds; today's file and files that are not the log's stay. A folder that
  // cannot be written is said once.
  void rotation() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString dataFolder = folder.path() + "/";
    QFile preferences(dataFolder + "preferences.ini");
    QVERIFY(preferences.open(QIODevice::WriteOnly));
    preferences.write("[Log]\nDays=30\nMegabytes=1\n");
    preferences.close();
    const TrafficLog::Settings settings = TrafficLog::ReadSettings(dataFolder);
    QCOMPARE(settings.limits.days, 30);
    QCOMPARE(settings.limits.bytes, qint64(1024 * 1024));

    const QString logs = TrafficLog::FolderOf(dataFolder);
    QVERIFY(QDir().mkpath(logs));
    const QDate today = QDate::currentDate();
    auto logFile = [&](int daysAgo) {
      return logs + "/" + TrafficLogWriter::FileName(today.addDays(-daysAgo));
    };
    QVERIFY(WriteFile(logFile(31), 10));
    for (int daysAgo : {10, 5, 1})
      QVERIFY(WriteFile(logFile(daysAgo), 400 * 1024));
    QVERIFY(WriteFile(logs + "/notes.csv", 10));
    {
      TrafficLogWriter writer(logs, settings.limits);
      writer.Append(today, "line");
      writer.Flush();
    }
    QStringList left = QDir(logs).entryList(QDir::Files, QDir::Name);
    QCOMPARE(left,
             QStringList({"notes.csv", TrafficLogWriter::FileName(today.addDays(-5)),
                          TrafficLogWriter::FileName(today.addDays(-1)), TrafficLogWriter::FileName(today)}));
    // within the size limit, the file exactly Days old is kept, the older one goes
    QVERIFY(WriteFile(logFile(30), 10));
    QVERIFY(WriteFile(logFile(31), 10));
    {
      TrafficLogWriter writer(logs, settings.limits);
      writer.Append(today, "line");
      writer.Flush();
    }
    QVERIFY(QFile::exists(logFile(30)));
    QVERIFY(!QFile::exists(logFile(31)));

    QVERIFY(WriteFile(dataFolder + "blocked", 1)); // a file where the folder should be
    TrafficLogWriter writer(dataFolder + "blocked/logs", settings.limits);
    QSignalSpy failed(&writer, &TrafficLogWriter::WriteFailed);
    writer.Append(today, "one");
    writer.Append(today.addDays(1), "two");
    writer.Flush();
    QTRY_COMPARE(failed.size(), 1);
    QTest::qWait(50);
    QCOMPARE(failed.size(), 1);
    QVERIFY(writer.Failed());
  }
};

int main(int argc, char **argv) {
  TApplication app(argc, argv);
  const QString childFolder = qEnvironmentVariable("VDD_SCAN_UNTIL_KILLED");
  if (!childFolder.isEmpty())
    return ScanUntilKilled(childFolder);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  TestTrafficLog test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}

#include "test_traffic_log.moc"
