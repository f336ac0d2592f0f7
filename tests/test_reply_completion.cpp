// "Handle replies as soon as they are complete": the option in the protocol
// window across a restart, and the exchanges it changes, through the real
// serial component and the drive simulator. The send timer is stopped, so
// whatever is judged or sent here without a tick run by hand was judged at
// the reply's last byte.
#include "app/MainWindow.h"
#include "app/drive/TUmotorPara.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "exchange/ReplyCompletion.h"
#include "serial/TComm.h"
#include "settings/DataFolder.h"
#include "sim/DriveSimulator.h"
#include "support/DialogRecorder.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"
#include "tests/support/EngineStateAccess.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

namespace {
const QString ReplyMark = "  ----- R >   ";

QString LastLine() { return Form1->HistoryLine(Form1->HistoryLineCount() - 1); }

// As the pane shows it, which may be a moment after the exchange.
bool LineIsBlack(int line) {
  const QTextBlock block = Form1->SendRevHistory->document()->findBlockByNumber(line);
  if (!block.isValid() || block.text().isEmpty())
    return false;
  for (auto it = block.begin(); !it.atEnd(); ++it)
    if (it.fragment().charFormat().foreground().color() != ColorFromBgr(0))
      return false;
  return true;
}

QVariant StoredPreference() {
  return QSettings(AppPaths::DataFolder() + "preferences.ini", QSettings::IniFormat)
      .value("Line/CompleteOnReply");
}
} // namespace

class TestReplyCompletion : public QObject {
  Q_OBJECT

  SimulatedRig rig_;

  // A fresh simulator behind COM2, the port configured for it at 38400 baud
  // (20 ms ticks), ticks run by hand.
  void Connect(bool rtu, LineFaults faults = {}) {
    SimOptions options;
    options.rtu = rtu;
    options.drives = {1, 2};
    options.faults = faults;
    if (!rig_.Reconnect(options, 5))
      return;
    Form1->MachineID->setCurrentText("1");
    Form1->clear1->trigger(); // the history menu's clear
  }

  void TickUntilSettled() {
    for (int ticks = 0; (Form1->State.WaitingReply || !Form1->State.ReceiveBuffer.empty()) && ticks < 1000;
         ++ticks) {
      QTest::qWait(Form1->State.TickMs);
      Form1->UpcSendTimer();
    }
  }

private slots:
  void initTestCase() {
    QVERIFY(rig_.UseProgramFolder());
    QCOMPARE(EnsureDataFolder(AppPaths::DataFolder()), QString());
    QVERIFY(rig_.StartSimulator(SimOptions{}));
  }

  void cleanupTestCase() { rig_.TearDown(); }

  // Off as delivered; ticked and confirmed with OK it takes effect at once,
  // lets the scan period go below 100 ms (the caption under the box says
  // so), and comes back after a restart.
  void optionSurvivesRestart() {
    DialogRecorder dialogs;
    QVERIFY(SimulatedRig::StartProgram());
    QVERIFY(!ProtocolSet->CompleteOnReply->isChecked());
    QVERIFY(!Form1->Engine->CompleteOnReply());
    QCOMPARE(Form1->ScanPeriodRange->text(), QString("(Range: 100----360000 ms)"));
    Form1->ScanPeriod->setText("0");
    Form1->ScanPeriodExit();
    QCOMPARE(dialogs.LastText(), QString("Invalid input data! Valid range: 100-360000."));

    QTest::mouseClick(Form1->UProtocol, Qt::LeftButton);
    QVERIFY(ProtocolSet->isVisible());
    QCOMPARE(ProtocolSet->CompleteOnReply->text(), QString("Handle replies as soon as they are complete"));
    QTest::mouseClick(ProtocolSet->CompleteOnReply, Qt::LeftButton);
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton); // OK
    QVERIFY(Form1->Engine->CompleteOnReply());
    QCOMPARE(Form1->ScanPeriodRange->text(), QString("(Range: 0----360000 ms)"));
    dialogs.Clear();
    Form1->ScanPeriodExit();
    QVERIFY(dialogs.requests.isEmpty());
    QCOMPARE(Form1->State.ScanPeriodMs, 0);

    dialogs.QueueAnswer(true);
    SimulatedRig::StopProgram();
    QCOMPARE(StoredPreference().toString(), QString("true"));
    QVERIFY(SimulatedRig::StartProgram());
    QVERIFY(ProtocolSet->CompleteOnReply->isChecked());
    QVERIFY(Form1->Engine->CompleteOnReply());
    QCOMPARE(Form1->ScanPeriodRange->text(), QString("(Range: 0----360000 ms)"));
  }

  // Replies judged at their last byte, the next request at once; what
  // comes after a reply, and a reply that never comes, as before.
  void silenceCoversSlowLines() {
    // 3.5 characters of 11 bits, never less than 2 ms: at 2400 baud a
    // character alone takes 4.6 ms
    QCOMPARE(ReplyCompletion::SilenceMs(2400), 17);
    QCOMPARE(ReplyCompletion::SilenceMs(115200), 2);
  }

  void repliesJudgedWhenComplete() {
    CommState &s = EngineStateAccess::Of(*Form1->Engine);
    Form1->TimeoutMs = 3000; // far longer than any of these exchanges takes

    // A reply in two pieces is judged once, when whole; the command that
    // waited for it goes out right after.
    Connect(false, {.splitPieces = 2, .splitGapMs = 40});
    Form1->SendFrame("010310000001");
    s.ControlFrame = "010620000001";
    s.ControlPending = true;
    QTRY_VERIFY_WITH_TIMEOUT(s.TotalRecords == 2 && !s.WaitingReply, 2500);
    QCOMPARE(s.ErrorRecords, 0);
    QVERIFY2(Form1->HistoryLine(0).contains(ReplyMark + ":010302"), qPrintable(Form1->HistoryLine(0)));
    QTRY_VERIFY(LineIsBlack(0) && LineIsBlack(1));

    // An RTU exception reply is whole at 5 bytes.
    Connect(true);
    Form1->SendFrame("010620000007");
    QTRY_VERIFY_WITH_TIMEOUT(!s.WaitingReply, 2500);
    QCOMPARE(s.ErrorRecords, 1);
    const QString exception = LastLine().section(ReplyMark, 1);
    QVERIFY2(exception.startsWith("0186") && exception.size() == 10, qPrintable(LastLine()));

    // RTU bytes that tell no length end with a silence on the line.
    Connect(true, {.garbageProbability = 1});
    for (int i = 0; i < 4; ++i) {
      Form1->SendFrame("010310000001");
      QTRY_VERIFY_WITH_TIMEOUT(!s.WaitingReply, 2500);
    }
    QCOMPARE(s.ErrorRecords, 4);

    // Bytes after a reply: the reply is accepted, they are data nobody
    // asked for, timed and judged as such.
    for (bool rtu : {false, true}) {
      Connect(rtu, {.strayBytes = 5});
      const long long unasked = s.UnsolicitedReceptions;
      Form1->SendFrame("010310000001");
      QTRY_VERIFY_WITH_TIMEOUT(!s.WaitingReply, 2500);
      QTRY_VERIFY(LineIsBlack(0));
      QCOMPARE(s.ErrorRecords, 0);
      QTRY_VERIFY_WITH_TIMEOUT(!s.ReceiveBuffer.empty(), 2500);
      TickUntilSettled();
      QCOMPARE(s.UnsolicitedReceptions, unasked + 1);
      QCOMPARE(s.ErrorRecords, 1);
      QCOMPARE(s.TotalRecords, 1);
    }

    // A reply that never comes still times out when its window has passed.
    Connect(false, {.dropProbability = 1});
    Form1->TimeoutMs = 100;
    s.ReadFrame = "010310000001";
    s.ReadPending = true;
    Form1->UpcSendTimer(); // sends
    int ticks = 0;
    while (s.WaitingReply && ticks < 50) {
      QTest::qWait(Form1->State.TickMs);
      Form1->UpcSendTimer();
      ++ticks;
    }
    QCOMPARE(ticks, 7); // (7 - 1) x 20 ms > 100 ms
    QCOMPARE(s.TimeoutRecords, 1);
  }

  // A scan with period 0 asks the next drive as soon as the last answer is
  // in: after the tick of the first request, no other is needed. The pane
  // takes its lines in batches then, yet shows every line in order, black
  // once answered, the newest in view; the traffic log's observers have each
  // line completed before the next request goes out.
  void scanAtLineRate() {
    Connect(false);
    int completed = 0, requests = 0, completedLate = 0;
    const QMetaObject::Connection onCompleted =
        connect(Form1, &TForm1::LineCompleted, this, [&](const QString &, bool) { ++completed; });
    const QMetaObject::Connection onRequest =
        connect(Form1->Engine->Journal, &ExchangeJournal::Started, this, [&] {
          if (completed != requests++)
            ++completedLate;
        });
    Form1->TimeoutMs = 3000;
    Form1->SeriesStart->setText("1");
    Form1->SeriesStop->setText("2");
    Form1->ScanPeriod->setText("0");
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QVERIFY(Form1->State.ScanRunning);
    // ticks only until the first request (the line was quiet long enough)
    for (int ticks = 0; Form1->State.TotalRecords == 0 && ticks < 500; ++ticks) {
      QTest::qWait(Form1->State.TickMs);
      Form1->UpcSendTimer();
    }
    QTRY_VERIFY_WITH_TIMEOUT(Form1->State.TotalRecords >= 130, 10000);
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QVERIFY(!Form1->State.ScanRunning);
    QTRY_VERIFY(!Form1->State.WaitingReply);
    disconnect(onCompleted);
    disconnect(onRequest);
    QCOMPARE(Form1->State.ErrorRecords + Form1->State.TimeoutRecords, 0);
    const std::vector<std::string> frames = rig_.sim->ReceivedFrames();
    QVERIFY(frames[0].starts_with(":0103") && frames[1].starts_with(":0203") &&
            frames[2].starts_with(":0103"));
    QCOMPARE(completedLate, 0);
    QCOMPARE(completed, Form1->State.TotalRecords);
    // the motor status table counts each drive's exchanges, all answered
    const auto count = [](int drive, int column) { return UmotorPara->Cell(drive, column).toInt(); };
    QTRY_COMPARE(count(1, TUmotorPara::RequestsColumn) + count(2, TUmotorPara::RequestsColumn),
                 Form1->State.TotalRecords);
    for (const int drive : {1, 2})
      QCOMPARE(count(drive, TUmotorPara::AcceptedColumn), count(drive, TUmotorPara::RequestsColumn));

    // the pane as the user sees it: the last 101 exchanges, drives 1 and 2 by turns
    const QTextDocument *pane = Form1->SendRevHistory->document();
    QTRY_COMPARE(pane->blockCount(), 101);
    QCOMPARE(Form1->HistoryLineCount(), 101);
    const QString lastFrame = QString::fromStdString(frames.back()).trimmed();
    QVERIFY2(pane->lastBlock().text().contains(lastFrame), qPrintable(pane->lastBlock().text()));
    for (int line = 0; line < pane->blockCount(); ++line) {
      const QString text = pane->findBlockByNumber(line).text();
      const bool asLast = (pane->blockCount() - 1 - line) % 2 == 0;
      const QString drive = asLast == lastFrame.startsWith(":0103") ? ":0103" : ":0203";
      QVERIFY2(text.contains("Send  >   " + drive) && text.contains(ReplyMark + drive), qPrintable(text));
      QVERIFY2(LineIsBlack(line), qPrintable(text));
    }
    const QScrollBar *bar = Form1->SendRevHistory->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
  }
};

VDD_TEST_MAIN(TestReplyCompletion)
#include "test_reply_completion.moc"
