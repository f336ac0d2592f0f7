// Soak run: the real windows (offscreen) scan 247 drives every 100 ms and
// run a command list against the drive simulator while line faults and drive
// faults are switched on and off at random every few seconds. Prints its
// figures and exits non-zero when the tool crashed, hung, lost count of a
// request, let the history grow past its limit, grew in memory after the
// warm-up, or left a table it cannot read back.
//   soak_driver [SECONDS]   (default 600)
#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"
#include "settings/DataFolder.h"
#include "settings/TableStore.h"
#include "sim/DriveSimulator.h"

#include "bench/ProcessFigures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace {
constexpr int FirstDrive = 1;
constexpr int LastDrive = 247;
constexpr int HistoryLimit = 101;
constexpr double RssGrowthLimitMb = 5.0;
constexpr int HangLimitSeconds = 30;

// Every request sent ends in exactly one way, or is still on the line; data
// judged while nothing was awaited is an outcome without a request.
bool CountsAddUp(const CommState &s) {
  return s.TotalRecords + s.UnsolicitedReceptions ==
         s.AcceptedReplies + s.ErrorRecords + s.TimeoutRecords + (s.WaitingReply ? 1 : 0);
}

LineFaults RandomFaults(std::mt19937 &dice) {
  std::uniform_real_distribution<double> chance(0.0, 0.25);
  std::uniform_int_distribution<int> coin(0, 1);
  LineFaults faults;
  faults.dropProbability = coin(dice) ? chance(dice) : 0;
  faults.corruptProbability = coin(dice) ? chance(dice) : 0;
  faults.garbageProbability = coin(dice) ? chance(dice) : 0;
  faults.splitPieces = coin(dice) ? std::uniform_int_distribution<int>(2, 5)(dice) : 0;
  faults.splitGapMs = faults.splitPieces ? std::uniform_int_distribution<int>(0, 40)(dice) : 0;
  faults.lateMs = coin(dice) ? std::uniform_int_distribution<int>(50, 600)(dice) : 0;
  return faults;
}

// A command list of three parameter reads, run over and over.
void PrepareSequence() {
  for (int row = 1; row < Form1->StringGrid1->rowCount(); ++row)
    for (int column = 0; column < 6; ++column)
      Form1->SetGridText(row, column, column == 0 ? "No" : "");
  const char *codes[] = {"F105", "F106", "F107"};
  for (int row = 1; row <= 3; ++row) {
    Form1->SetGridText(row, 0, "Yes");
    Form1->SetGridText(row, 1, codes[row - 1]);
  }
  Form1->UMODE->SetItemIndex(0);
  Form1->UMODEClick();
  Form1->RadioGroup1->SetItemIndex(0);
  Form1->URepeatTimes->setText("100000");
  Form1->UErrorCheck->setChecked(false);
  Form1->UTimeoutCheck->setChecked(false);
}

bool TableReadable(const QString &file) {
  try {
    TTableConnection connection;
    connection.SetConnectionString(TTableConnection::ConnectionTextFor(AppPaths::DataFolder()));
    connection.Open();
    TTableQuery query(&connection);
    query.SetSQL("select * from " + file);
    query.Open();
    for (query.First(); !query.Eof(); query.Next())
      for (int field = 0; field < query.FieldCount(); ++field)
        (void)query.DisplayText(query.RecNo() - 1, field);
    return true;
  } catch (const std::exception &error) {
    std::printf("table %s: %s\n", qPrintable(file), error.what());
    return false;
  }
}

bool DbfreadReadable(const QString &file) {
  QProcess python;
  python.start("/usr/bin/python3",
               {"-c",
                "import sys; from dbfread import DBF; print(len(list(DBF(sys.argv[1], encoding='latin-1'))))",
                AppPaths::DataFolder() + file});
  if (!python.waitForFinished(60000) || python.exitCode() != 0) {
    std::printf("dbfread %s: %s\n", qPrintable(file), python.readAllStandardError().constData());
    return false;
  }
  return true;
}
} // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 600;
  TApplication app(argc, argv);
  QTemporaryDir folder;
  AppPaths::SetProgramFolder(folder.path());
  if (!EnsureDataFolder(AppPaths::DataFolder()).isEmpty() || !QDir().mkpath(AppPaths::DataFolder() + "ports"))
    return 2;
  int boxes = 0;
  Dialogs::SetHandler([&boxes](const Dialogs::Request &request) {
    ++boxes;
    std::printf("box: %s\n", qPrintable(request.text));
    return Dialogs::Answer{true, QString()};
  });

  // A hang of the main thread ends the run: its timer stops moving the beat.
  std::atomic<std::int64_t> beat{0};
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    std::int64_t seen = -1;
    int still = 0;
    while (!finished) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      const std::int64_t now = beat.load();
      still = now == seen ? still + 1 : 0;
      seen = now;
      if (still >= HangLimitSeconds) {
        std::printf("FAIL: the main thread did not turn for %d s\n", HangLimitSeconds);
        std::fflush(stdout);
        std::_Exit(3);
      }
    }
  });
  QTimer heartbeat;
  QObject::connect(&heartbeat, &QTimer::timeout, [&beat] { ++beat; });
  heartbeat.start(100);

  CreateApplicationWindows();
  Form1->show();
  Form1->activateWindow();
  QElapsedTimer clock;
  clock.start();
  while (!Form1->Activated && clock.elapsed() < 30000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

  std::vector<int> drives;
  for (int address = FirstDrive; address <= LastDrive; ++address)
    drives.push_back(address);
  SimOptions options;
  options.drives = drives;
  options.seed = 20240601;
  DriveSimulator sim(options);
  if (!sim.Start()) {
    std::printf("simulator: %s\n", sim.Error().c_str());
    return 2;
  }
  const QString link = AppPaths::DataFolder() + "ports/COM2";
  QFile::remove(link);
  QFile::link(QString::fromStdString(sim.SlavePath()), link);
  ProtocolSet->ComPort->setCurrentText("COM2");
  ProtocolSet->ModbusMode->setCurrentIndex(0);
  Form1->ApplyPortSettings();
  if (!Form1->Comm1->PortOpen()) {
    std::printf("port: %s\n", qPrintable(Form1->Comm1->PortOpenError()));
    return 2;
  }
  Form1->TimeoutMs = 200;
  Form1->TimeIntervalMs = 100; // the command list's pause between steps
  Form1->MachineID->setEditText("1");
  PrepareSequence();
  Form1->SeriesType->setChecked(true);
  Form1->SeriesStart->setText(QString::number(FirstDrive));
  Form1->SeriesStop->setText(QString::number(LastDrive));
  Form1->ScanPeriod->setText("100");
  Form1->PageControl1->setCurrentIndex(0);
  Form1->UPeriodScanClick();

  std::mt19937 dice(7);
  const CommState &s = Form1->State;
  const double warmUpSeconds = std::min(60.0, seconds * 0.2);
  double rssStart = ResidentMb(), rssAfterWarmUp = 0, rssMax = 0, rssEnd = 0;
  int historyMax = 0, countMismatches = 0, faultChanges = 0, sequenceRuns = 0;
  std::int64_t lastSample = -1, lastChange = -1;

  std::printf("soak: %d s, drives %d..%d, scan period 100 ms\n", seconds, FirstDrive, LastDrive);
  while (clock.elapsed() < seconds * 1000LL) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    historyMax = std::max(historyMax, Form1->HistoryLineCount());
    const std::int64_t second = clock.elapsed() / 1000;
    if (second / 3 != lastChange) { // every three seconds the faults change
      lastChange = second / 3;
      ++faultChanges;
      sim.SetLineFaults(RandomFaults(dice));
      std::uniform_int_distribution<int> drive(FirstDrive, LastDrive);
      for (int i = 0; i < 5; ++i)
        sim.InjectDriveFault(drive(dice), std::uniform_int_distribution<int>(4, 25)(dice));
      if (dice() % 4 == 0)
        sim.ResetDriveFaults();
      // half the time on the command list's tab, where the list runs
      const bool onList = dice() % 2 == 0;
      Form1->PageControl1->setCurrentIndex(onList ? 2 : 0);
      if (onList && !s.SequenceRunning) {
        Form1->UdefRunClick();
        sequenceRuns += s.SequenceRunning ? 1 : 0;
      }
    }
    if (second / 2 != lastSample) { // every two seconds a sample
      lastSample = second / 2;
      const double rss = ResidentMb();
      rssMax = std::max(rssMax, rss);
      if (rssAfterWarmUp == 0 && second >= warmUpSeconds)
        rssAfterWarmUp = rss;
      if (!CountsAddUp(s))
        ++countMismatches;
      if (second % 30 == 0)
        std::printf("t=%3llds total %d accepted %lld errors %d timeouts %d rss %.1f MB history %d\n",
                    static_cast<long long>(second), s.TotalRecords, s.AcceptedReplies, s.ErrorRecords,
                    s.TimeoutRecords, rss, Form1->HistoryLineCount());
      std::fflush(stdout);
    }
  }

  // Wind down: no more faults, the scan and the list stop, the last request ends.
  sim.SetLineFaults({});
  if (s.SequenceRunning)
    Form1->UdefStopClick();
  if (s.ScanRunning)
    Form1->UPeriodScanClick();
  QElapsedTimer drain;
  drain.start();
  while ((s.WaitingReply || !s.ReceiveBuffer.empty()) && drain.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  rssEnd = ResidentMb();
  const bool countsAddUp = CountsAddUp(s) && countMismatches == 0;

  // Closing saves the settings; they and the parameter table must read back.
  Form1->close();
  QCoreApplication::processEvents();
  bool tablesReadable = true;
  for (const char *table : {"com_pro.dbf", "dspara.dbf", "usercmd.dbf", "RM40.DBF"})
    tablesReadable = TableReadable(table) && DbfreadReadable(table) && tablesReadable;
  finished = true;
  watchdog.join();

  const double growth = rssEnd - rssAfterWarmUp;
  std::printf("soak.seconds %d\n", seconds);
  std::printf("soak.total_records %d\n", s.TotalRecords);
  std::printf("soak.accepted_replies %lld\n", s.AcceptedReplies);
  std::printf("soak.error_records %d\n", s.ErrorRecords);
  std::printf("soak.timeout_records %d\n", s.TimeoutRecords);
  std::printf("soak.unsolicited_receptions %lld\n", s.UnsolicitedReceptions);
  std::printf("soak.simulator_replies %d\n", sim.RepliesSent());
  std::printf("soak.fault_changes %d\n", faultChanges);
  std::printf("soak.sequence_runs %d\n", sequenceRuns);
  std::printf("soak.boxes_shown %d\n", boxes);
  std::printf("soak.history_max_lines %d\n", historyMax);
  std::printf("soak.rss_start_mb %.1f\n", rssStart);
  std::printf("soak.rss_after_warmup_mb %.1f\n", rssAfterWarmUp);
  std::printf("soak.rss_end_mb %.1f\n", rssEnd);
  std::printf("soak.rss_max_mb %.1f\n", rssMax);

  bool ok = true;
  auto check = [&ok](bool good, const char *what) {
    std::printf("%s: %s\n", good ? "ok" : "FAIL", what);
    ok = ok && good;
  };
  check(s.AcceptedReplies > 0 && s.TimeoutRecords > 0 && s.ErrorRecords > 0,
        "replies were accepted, and faults made errors and time-outs");
  check(countsAddUp, "total + unsolicited = accepted + errors + time-outs + in flight, at every sample");
  check(historyMax <= HistoryLimit, "the history never held more than 101 lines");
  check(rssAfterWarmUp > 0 && growth <= RssGrowthLimitMb, "resident memory flat after the warm-up (<= 5 MB)");
  check(tablesReadable, "settings and parameter tables read back by the store and by dbfread");
  sim.Stop();
  DestroyApplicationWindows();
  return ok ? 0 : 1;
}
