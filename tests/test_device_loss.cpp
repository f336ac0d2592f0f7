// The drives go away while the tool scans them (the far end of the line
// closes) and come back on a new line under the same link, as a replugged
// adapter comes back under its name: the tool closes the port and says so,
// keeps running on its own timer, every request in between ends as a
// time-out, and the replies come back without anyone touching the program.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"
#include "sim/DriveSimulator.h"
#include "support/DialogRecorder.h"
#include "support/Heartbeat.h"
#include "support/TestMain.h"
#include "tests/support/EngineStateAccess.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <memory>

namespace {
// Every request sent has ended in exactly one way, or is still on the line;
// data judged while nothing was awaited is an outcome without a request.
bool CountsAddUp() {
  const CommState &s = Form1->State;
  return s.TotalRecords + s.UnsolicitedReceptions ==
         s.AcceptedReplies + s.ErrorRecords + s.TimeoutRecords + (s.WaitingReply ? 1 : 0);
}
} // namespace

class TestDeviceLoss : public QObject {
  Q_OBJECT

  QTemporaryDir folder_;
  DialogRecorder dialogs_;

  std::unique_ptr<DriveSimulator> StartDrives() {
    SimOptions options;
    options.drives = {1, 2, 3};
    auto sim = std::make_unique<DriveSimulator>(options);
    if (!sim->Start())
      qWarning("simulator: %s", sim->Error().c_str());
    return sim;
  }

  // Points COM2 at the simulator's line and applies the protocol settings,
  // as the protocol window's OK does; the send timer runs on its own.
  void PointPortAt(const DriveSimulator &sim) {
    const QString link = AppPaths::DataFolder() + "ports/COM2";
    QFile::remove(link);
    QVERIFY(QFile::link(QString::fromStdString(sim.SlavePath()), link));
    ProtocolSet->ComPort->setCurrentText("COM2");
    ProtocolSet->ModbusMode->setCurrentIndex(0); // ASCII
    Form1->ApplyPortSettings();
    QVERIFY2(Form1->Comm1->PortOpen(), qPrintable(Form1->Comm1->PortOpenError()));
    QVERIFY(Form1->UpcSend->isActive());
  }

private slots:
  void initTestCase() {
    QVERIFY(folder_.isValid());
    AppPaths::SetProgramFolder(folder_.path());
    QVERIFY(QDir().mkpath(AppPaths::DataFolder() + "ports"));
    CreateApplicationWindows();
    Form1->show();
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    QTRY_VERIFY(Form1->Activated);
  }

  void cleanupTestCase() {
    Form1->UpcSend->stop();
    Form1->Comm1->ClosePort();
  }

  void scanSurvivesTheLineGoingAway() {
    std::unique_ptr<DriveSimulator> sim = StartDrives();
    QVERIFY2(!sim->SlavePath().empty(), sim->Error().c_str());
    dialogs_.Clear(); // what the first activation showed for its own port
    PointPortAt(*sim);
    // a short reply window so that the time-outs come quickly; a reply on a
    // pseudo-terminal still arrives well within it
    Form1->TimeoutMs = 300;
    Form1->MachineID->setEditText("1");
    Form1->SeriesType->setChecked(true);
    Form1->SeriesStart->setText("1");
    Form1->SeriesStop->setText("3");
    Form1->ScanPeriod->setText("100");
    Form1->UPeriodScanClick();
    QVERIFY(Form1->State.ScanRunning);

    CommState &s = EngineStateAccess::Of(*Form1->Engine);
    QTRY_VERIFY_WITH_TIMEOUT(s.AcceptedReplies >= 6, 60000);
    QVERIFY(CountsAddUp());

    // The drives go away: the far end of the line closes. A reply already on
    // its way may still be judged, until the port is seen closed and the
    // request on the line has ended; the counts are taken after that.
    sim.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!Form1->Comm1->PortOpen(), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!s.WaitingReply, 60000);
    const long long acceptedBefore = s.AcceptedReplies;
    const int timeoutsBefore = s.TimeoutRecords;
    const int errorsBefore = s.ErrorRecords;

    // The main thread keeps turning: a timer of its own keeps firing while
    // the requests time out one after the other. A send or a read that
    // waited on the dead line would leave a gap of seconds between beats.
    auto heartbeat = std::make_unique<Heartbeat>();
    // Once the port is closed, requests are refused as not sent, at the pace
    // at which they would have timed out.
    int refusals = 0;
    connect(Form1->Engine, &TExchangeEngine::RequestRefused, this, [&](const QString &reason) {
      if (reason == "port closed")
        ++refusals;
    });
    QTRY_VERIFY_WITH_TIMEOUT(refusals >= 3, 120000);
    const qint64 longestGapMs = heartbeat->LongestGapMs();
    heartbeat.reset();
    // The bound is far above any scheduling hiccup of a loaded machine; a
    // send or read blocked on the dead line would stand still much longer.
    QVERIFY2(longestGapMs < 15000,
             qPrintable(QString("main thread stood still for %1 ms").arg(longestGapMs)));
    QVERIFY(s.ScanRunning);
    // nothing came back, so nothing was accepted or judged wrong
    QCOMPARE(s.AcceptedReplies, acceptedBefore);
    QCOMPARE(s.ErrorRecords, errorsBefore);
    QCOMPARE(s.TimeoutRecords, timeoutsBefore);
    QVERIFY(CountsAddUp());
    QTRY_VERIFY(Form1->HistoryLine(Form1->HistoryLineCount() - 1).contains("-----> Not sent: port closed!"));

    // The port was closed on the hang-up, and the status bar says so.
    QVERIFY(!Form1->Comm1->PortOpen());
    QVERIFY2(Form1->StatusBar1->PanelText(0).endsWith("port closed: device gone"),
             qPrintable(Form1->StatusBar1->PanelText(0)));

    // The drives come back on a new line behind the same link.
    sim = StartDrives();
    QVERIFY2(!sim->SlavePath().empty(), sim->Error().c_str());
    const QString link = AppPaths::DataFolder() + "ports/COM2";
    QFile::remove(link);
    QVERIFY(QFile::link(QString::fromStdString(sim->SlavePath()), link));
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Comm1->PortOpen(), 20000);
    QVERIFY2(Form1->StatusBar1->PanelText(0).endsWith("port open"),
             qPrintable(Form1->StatusBar1->PanelText(0)));
    QVERIFY(s.ScanRunning);
    QTRY_VERIFY_WITH_TIMEOUT(s.AcceptedReplies >= acceptedBefore + 6, 120000);
    QVERIFY(sim->RepliesSent() >= 6);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->UcomShape->BrushColor(), int(LampColor::Off), 60000);
    QVERIFY(CountsAddUp());
    // drive failures never show a box
    QVERIFY2(dialogs_.Texts().isEmpty(), qPrintable(dialogs_.Texts().join(" | ")));

    // the pane took hundreds of edits; none may be kept for undo, or a tool
    // left scanning grows without end
    QVERIFY(Form1->HistoryLineCount() <= 101);
    QCOMPARE(Form1->SendRevHistory->document()->availableUndoSteps(), 0);

    Form1->UPeriodScanClick();
    QVERIFY(!s.ScanRunning);
  }
};

VDD_TEST_MAIN(TestDeviceLoss)
#include "test_device_loss.moc"
