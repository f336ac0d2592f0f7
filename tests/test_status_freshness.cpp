// Values that are not live say so: a scan of two simulated drives fills
// "Motor Status" and tells how often each drive is read; paused, or with the
// drive silent, the values and lamps grey out with their age in a tool tip.
#include "app/MainWindow.h"
#include "app/Widgets.h"
#include "app/drive/StatusDisplayPacing.h"
#include "support/DialogRecorder.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kReplyMs = 30000;

QWidget *MotorStatus() { return Form1->UoutFreq->parentWidget(); }

// The "Motor Status" values drawn in the grey of a disabled field.
bool Greyed() {
  const QPalette palette = Form1->UoutFreq->palette();
  return palette.color(QPalette::Active, QPalette::Text) == palette.color(QPalette::Disabled, QPalette::Text);
}
} // namespace

class TestStatusFreshness : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

private slots:
  // Drives 1 and 2 on the line, the scan set to read both.
  void initTestCase() {
    SimOptions twoDrives;
    twoDrives.drives = {1, 2};
    QVERIFY(rig_.StartRunning(twoDrives));
    QTest::mouseClick(Form1->SeriesStop, Qt::LeftButton);
    QTest::keyClick(Form1->SeriesStop, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(Form1->SeriesStop, "2");
  }

  void cleanupTestCase() { rig_.TearDown(); }

  void greyWhenNotLive() {
    // nothing read yet
    QVERIFY(Greyed());
    QVERIFY(MotorStatus()->toolTip().contains("No status reply from drive 1 yet"));

    // scan, and run drive 1
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Form1->UoutFreq->text() != "" && !Greyed(), kReplyMs);
    QVERIFY(!Form1->UrunShape->Faded());
    // the period achieved, beside the one asked for
    QTRY_VERIFY_WITH_TIMEOUT(Form1->ScanPeriod->toolTip().startsWith("Each drive of the scan is read every "),
                             kReplyMs);
    QVERIFY2(Form1->ScanPeriodRange->text().startsWith("(Achieved: every "),
             qPrintable(Form1->ScanPeriodRange->text()));

    // paused: grey at once, the age told, the range shown again
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTRY_VERIFY(Greyed());
    QVERIFY2(MotorStatus()->toolTip().contains("s ago (the scan is paused)"),
             qPrintable(MotorStatus()->toolTip()));
    QVERIFY(Form1->UrunShape->Faded());
    QVERIFY(!Form1->UoutFreq->text().isEmpty()); // the last values stay, greyed
    QVERIFY(Form1->ScanPeriodRange->text().startsWith("(Range: "));
    QVERIFY(Form1->ScanPeriod->toolTip().isEmpty());

    // scanning again it is live again; a drive that stops answering greys out
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Greyed(), kReplyMs);
    LineFaults silent;
    silent.dropProbability = 1.0;
    rig_.sim->SetLineFaults(silent);
    QTRY_VERIFY_WITH_TIMEOUT(Greyed(), kReplyMs);
    QVERIFY2(MotorStatus()->toolTip().startsWith("Last status reply from drive 1: "),
             qPrintable(MotorStatus()->toolTip()));
    rig_.sim->SetLineFaults(LineFaults{});
    QTRY_VERIFY_WITH_TIMEOUT(!Greyed(), kReplyMs);
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Form1->State.WaitingReply, kReplyMs);
  }

  // At line rate a drive's status is shown at once, then at most once an
  // interval, the newest of each drive that waited; unpaced at once.
  void statusShownAtDisplayRate() {
    bool paced = true;
    std::vector<int> shown;
    StatusDisplayPacing pacing([&] { return paced; }, [&](int address) { shown.push_back(address); }, 50,
                               nullptr);
    pacing.Decoded(1);
    QCOMPARE(shown, std::vector<int>({1}));
    pacing.Decoded(2);
    pacing.Decoded(1);
    pacing.Decoded(2);
    QCOMPARE(shown.size(), std::size_t(1));
    QTRY_COMPARE(shown, std::vector<int>({1, 1, 2})); // with no status after them
    paced = false;
    pacing.Decoded(3);
    QCOMPARE(shown.back(), 3);
  }
};

VDD_TEST_MAIN(TestStatusFreshness)
#include "test_status_freshness.moc"
