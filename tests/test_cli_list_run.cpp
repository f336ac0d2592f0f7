// The same command list run by the window's runner (imported through the
// File menu, started with RUN) and by vossek-drive-cli on a drive with the
// same values: the command-line program must give the Reply cells the
// window shows.
#include "app/MainWindow.h"
#include "support/DialogRecorder.h"
#include "support/MenuClicks.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QLineEdit>
#include <QProcess>
#include <QTableWidget>
#include <QToolButton>

namespace {
constexpr int WaitMs = 20000;
constexpr std::uint16_t F113 = 0x010D, F114 = 0x010E;

// Both drives hold values other than the delivered ones.
bool SetValues(DriveSimulator &sim) {
  return sim.SetParameter(1, F113, 3333) && sim.SetParameter(1, F114, 125);
}
} // namespace

class TestCliListRun : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

private slots:
  void initTestCase() { QVERIFY(rig_.StartRunning(SimOptions{})); }
  void cleanupTestCase() { rig_.TearDown(); }

  void sameRepliesAsTheWindow() {
    QVERIFY(SetValues(*rig_.sim));
    const QString list = rig_.folder.filePath("list.xlsx");
    QProcess python;
    python.start("/usr/bin/python3",
                 {"-c",
                  "import openpyxl, sys\n"
                  "book = openpyxl.Workbook()\n"
                  "for row in [['Select', 'Function', 'Data', 'Command', 'Reply', 'Note'],\n"
                  "            ['Yes', 'F113'], ['No', 'F100'], ['Yes', 'F114']]:\n"
                  "    book.active.append(row)\n"
                  "book.save(sys.argv[1])\n",
                  list});
    QVERIFY(python.waitForFinished(30000) && python.exitCode() == 0);

    // The window: import, one pass, RUN.
    ClickTab(Form1->PageControl1, 2); // the list's own tab offers the import
    dialogs_.QueuePath(list);
    ChooseFromMenu(Form1, Form1->Import);
    QTRY_COMPARE(Form1->GridText(3, 1), QString("F114"));
    Form1->URepeatTimes->selectAll();
    QTest::keyClicks(Form1->URepeatTimes, "1");
    QTest::mouseClick(Form1->UdefRun, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Form1->UdefRun->isEnabled(), WaitMs);
    const QStringList window = {Form1->GridText(1, 4), Form1->GridText(2, 4), Form1->GridText(3, 4)};
    QCOMPARE(window, (QStringList{"33.33", "", "12.5"}));

    // The program, on a second simulated drive with the same values.
    SimOptions options;
    DriveSimulator second(options);
    QVERIFY(second.Start());
    QVERIFY(SetValues(second));
    QProcess cli;
    cli.start(qEnvironmentVariable("VDD_BUILD_DIR") + "/vossek-drive-cli",
              {"run", list, "--function", "read", "--repeat", "1", "--interval", "0", "--stop-on", "none",
               "--port", QString::fromStdString(second.SlavePath()), "--mode", "ascii", "--address", "1",
               "--format", "csv"});
    QVERIFY(cli.waitForFinished(WaitMs));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines, (QStringList{"row,request,reply,result", "1,0103010D0001," + window[0] + ",accepted",
                                 "3,0103010E0001," + window[2] + ",accepted"}));
    second.Stop();
  }
};

VDD_TEST_MAIN(TestCliListRun)
#include "test_cli_list_run.moc"
