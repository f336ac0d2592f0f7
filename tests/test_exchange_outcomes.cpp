// What the user sees of each exchange, with the real send timer, serial
// component and a pseudo-terminal to the drive simulator: the newest history
// line stays in view, replies reach the request they answer, line noise stays
// bounded, the lamps show a tripped drive, a mistake in a field shows one
// message, a command list works on its first run, and closing the window
// stops everything before the close question.
#include "app/MainWindow.h"
#include "app/drive/TUmotorPara.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "protocol/HexText.h"
#include "serial/TComm.h"
#include "sim/DriveSimulator.h"
#include "sim/PseudoTerminal.h"
#include "support/DialogRecorder.h"
#include "support/FastLine.h"
#include "support/HistoryLines.h"
#include "support/MenuClicks.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int kWaitMs = 30000; // generous for a loaded machine

bool Idle() {
  const CommState &s = Form1->State;
  return !s.WaitingReply && !s.UserCmdPending && !s.ControlPending && s.ReceiveBuffer.empty();
}

// The end of the pane's text lies inside the visible part of the pane.
bool NewestLineInView() {
  QTextEdit *pane = Form1->SendRevHistory;
  QTextCursor end(pane->document());
  end.movePosition(QTextCursor::End);
  return pane->viewport()->rect().contains(pane->cursorRect(end));
}

// Replaces the text of a field as the user does: select all, type.
void TypeInto(QWidget *field, const QString &text) {
  field->setFocus();
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, text);
}

void ClickTab(int index) { ::ClickTab(Form1->PageControl1, index); }
} // namespace

class TestExchangeOutcomes : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

  // The simulator's drives 1 to 3 on a fast line, in the given mode.
  void Connect(bool rtu) {
    Form1->Comm1->ClosePort();
    SimOptions options;
    options.rtu = rtu;
    options.baud = 38400;
    options.drives = {1, 2, 3};
    if (!rig_.StartSimulator(options))
      return;
    UseFastLine(100);
    // the mode chosen with the keys, as in the protocol window
    ProtocolSet->ModbusMode->setFocus();
    QTest::keyClick(ProtocolSet->ModbusMode, Qt::Key_Home);
    if (rtu) // the item after ASCII
      QTest::keyClick(ProtocolSet->ModbusMode, Qt::Key_Down);
    QCOMPARE(ProtocolSet->ModbusMode->currentIndex(), rtu ? 1 : 0);
    Form1->ApplyPortSettings();
    QVERIFY(Form1->Comm1->PortOpen());
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), kWaitMs);
  }

  void SendUserCommand(const QString &address) {
    Form1->UdefineMachine->setEditText(address);
    QTest::mouseClick(Form1->UserDefineSend, Qt::LeftButton);
  }

  void ClickScan() { QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton); }

private slots:
  void initTestCase() {
    if (!rig_.StartDelivered())
      return;
    Connect(false);
    Form1->UdefineAddr->setText("1000");
    Form1->Edit7->setText("1");
  }

  void cleanupTestCase() { rig_.TearDown(); }

  // After 20 requests the newest line is in view; once the user scrolls up
  // to read, new lines leave the view where it is.
  void historyKeepsNewestLineInView() {
    Form1->clear1->trigger();
    for (int i = 1; i <= 20; ++i) {
      SendUserCommand("1");
      QTRY_VERIFY_WITH_TIMEOUT(Form1->State.TotalRecords == i && Idle(), kWaitMs);
    }
    QTRY_VERIFY(NewestLineInView());

    // a click on the scroll bar's groove above the handle pages up
    QScrollBar *bar = Form1->SendRevHistory->verticalScrollBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() / 4));
    QTRY_VERIFY(bar->value() < bar->maximum());
    const int readingAt = bar->value();
    SendUserCommand("1");
    QTRY_VERIFY_WITH_TIMEOUT(Form1->State.TotalRecords == 21 && Idle(), kWaitMs);
    QTest::qWait(50);
    QCOMPARE(bar->value(), readingAt);
    QVERIFY(!NewestLineInView());
  }

  // A user's command to Motor Addr 0 is a broadcast and awaits nothing; one
  // that times out leaves nothing waiting: the next FWD START lights its lamps.
  void userCommandOutcomes() {
    Form1->MachineID->setEditText("1");
    Form1->clear1->trigger();
    rig_.sim->ClearReceivedFrames();
    SendUserCommand("0");
    QTRY_COMPARE_WITH_TIMEOUT(rig_.sim->ReceivedFrames(), std::vector<std::string>{":000310000001EC\r\n"},
                              kWaitMs);
    QTest::qWait(4 * Form1->TimeoutMs);
    QCOMPARE(Form1->State.TimeoutRecords, 0);
    QCOMPARE(Form1->UcomShape->BrushColor(), LampColor::Off);
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->UrunShape->BrushColor(), LampColor::Green, kWaitMs);
    QTest::mouseClick(Form1->UDecStop, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->UstopShape->BrushColor(), LampColor::Olive, kWaitMs);

    SendUserCommand("9"); // no such drive
    QTRY_COMPARE_WITH_TIMEOUT(Form1->State.TimeoutRecords, 1, kWaitMs);
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->UrunShape->BrushColor(), LampColor::Green, kWaitMs);
    QCOMPARE(Form1->UfwdShape->BrushColor(), LampColor::Green);
    QTest::mouseClick(Form1->UDecStop, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Idle() && Form1->UstopShape->BrushColor() == LampColor::Olive, kWaitMs);
  }

  // A drive in MachineID that trips lights FAULT and names its fault; another
  // drive's fault shows only in the table.
  void trippedDriveLightsFault() {
    Form1->MachineID->setEditText("2");
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->UfwdShape->BrushColor(), LampColor::Green, kWaitMs);
    rig_.sim->InjectDriveFault(3, 10);
    Form1->SeriesType->setChecked(true);
    Form1->SeriesStart->setText("2");
    Form1->SeriesStop->setText("3");
    Form1->ScanPeriod->setText("100");
    ClickScan();
    QVERIFY(Form1->State.ScanRunning);
    // just after drive 3 answered, before drive 2 is asked again
    QTRY_VERIFY_WITH_TIMEOUT(UmotorPara->Cell(3, TUmotorPara::MachineStatusColumn) == "OL2" &&
                                 Form1->State.LastSentFrame.rfind("03", 0) == 0 && Idle(),
                             kWaitMs);
    QCOMPARE(Form1->machinestate->text(), QString("Forward Start"));
    QCOMPARE(Form1->UfaultShape->BrushColor(), LampColor::Off);

    rig_.sim->InjectDriveFault(2, 7);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->UfaultShape->BrushColor(), LampColor::Red, kWaitMs);
    QCOMPARE(Form1->machinestate->text(), QString("0L1"));
    QCOMPARE(Form1->UrunShape->BrushColor(), LampColor::Off);
    QCOMPARE(Form1->UfwdShape->BrushColor(), LampColor::Off);

    rig_.sim->ResetDriveFaults();
    QTRY_COMPARE_WITH_TIMEOUT(Form1->UfaultShape->BrushColor(), LampColor::Off, kWaitMs);
    ClickScan();
    QVERIFY(!Form1->State.ScanRunning);
    QTest::mouseClick(Form1->UDecStop, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->UstopShape->BrushColor(), LampColor::Olive, kWaitMs);
    Form1->MachineID->setEditText("1");
  }

  // A click on the button straight from a bad field: one message, and a
  // refused period refuses the scan.
  void oneMessagePerMistake() {
    dialogs_.Clear();
    TypeInto(Form1->ScanPeriod, "50");
    ClickScan();
    QTest::qWait(50); // the check queued by leaving the field would run now
    QCOMPARE(dialogs_.Texts(), QStringList{"Invalid input data! Valid range: 100-360000."});
    QVERIFY(!Form1->State.ScanRunning);
    QCOMPARE(Form1->UPeriodScan->text(), QString("Scan"));
    Form1->ScanPeriod->setText("100");

    dialogs_.Clear();
    TypeInto(Form1->UdefineAddr, "");
    QTest::mouseClick(Form1->UserDefineSend, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(dialogs_.Texts(), QStringList{"Invalid input! "});
    QVERIFY(!Form1->State.UserCmdPending);
    Form1->UdefineAddr->setText("1000");
  }

  // With the delivered settings a Function mode step in ASCII is answered;
  // a step that gets nothing says so in its Reply cell.
  void commandListFirstRun() {
    QVERIFY(Form1->UAddChecksum->isChecked());
    ClickTab(2);
    Form1->SetGridText(1, 0, "Yes");
    Form1->SetGridText(1, 1, "F113");
    Form1->URepeatTimes->setText("1");
    Form1->TimeIntervalMs = 100;
    const auto raw = rig_.sim->Parameter(1, 0x010D);
    QVERIFY(raw.has_value());
    QTest::mouseClick(Form1->UdefRun, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Form1->State.SequenceRunning, kWaitMs);
    QCOMPARE(Form1->GridText(1, 4), QString::number(*raw / 100.0, 'f', 2));

    Form1->MachineID->setEditText("9");
    QTest::mouseClick(Form1->UdefRun, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Form1->State.SequenceRunning, kWaitMs);
    QCOMPARE(Form1->GridText(1, 4), QString("No response!"));
    Form1->MachineID->setEditText("1");
    ClickTab(0);
  }

  // RTU noise while scanning: what a window keeps and a line shows is
  // bounded and says what was cut; once the noise stops replies are taken.
  void lineNoiseStaysBounded() {
    Connect(true);
    Form1->clear1->trigger();
    Form1->SeriesStart->setText("1");
    Form1->SeriesStop->setText("1");
    ClickScan();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->State.AcceptedReplies > 0, kWaitMs);
    std::atomic<bool> done = false;
    bool written = false;
    std::thread burst([&] {
      written = rig_.sim->SendBurst(400 * 1024, 7);
      done = true;
    });
    while (!done)
      QTest::qWait(20);
    burst.join();
    QVERIFY(written);
    const long long acceptedBefore = Form1->State.AcceptedReplies;
    QTRY_VERIFY_WITH_TIMEOUT(Form1->State.AcceptedReplies > acceptedBefore + 2, kWaitMs);
    ClickScan();
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), kWaitMs);
    QVERIFY(Form1->State.ErrorRecords > 0);
    QVERIFY2(LongestHistoryLine() < 5000, qPrintable(QString::number(LongestHistoryLine())));
    bool noted = false;
    for (int line = 0; line < Form1->HistoryLineCount(); ++line)
      noted = noted || Form1->HistoryLine(line).contains(" more bytes");
    QVERIFY(noted);
    Connect(false);
  }

  // A status reply with fewer than six registers (here from a device other
  // than the simulator) changes no value on screen.
  void shortStatusReplyIsIgnored() {
    rig_.TearDown();
    PseudoTerminal peer;
    std::string error;
    QVERIFY2(peer.Open(error), error.c_str());
    ::fcntl(peer.MasterFd(), F_SETFL, ::fcntl(peer.MasterFd(), F_GETFL) | O_NONBLOCK);
    QVERIFY(rig_.LinkPort(QString::fromStdString(peer.SlavePath())));
    UseFastLine(200);
    QVERIFY(Form1->Comm1->PortOpen());
    Form1->UoutFreq->setText("-");
    const int errorsBefore = Form1->State.ErrorRecords;
    Form1->MachineID->setEditText("1");
    Form1->ScanPeriod->setText("100");
    ClickScan();
    // the scan's first request: drive 1, six registers from 1000
    std::string request;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
          char piece[64];
          const ssize_t got = ::read(peer.MasterFd(), piece, sizeof piece);
          if (got > 0)
            request.append(piece, static_cast<std::size_t>(got));
          return request.find('\n') != std::string::npos;
        }(),
        kWaitMs);
    QCOMPARE(request, std::string(":010310000006E6\r\n"));
    const std::string reply = ":0103021388" + ComputeLRC("0103021388") + "\r\n";
    QCOMPARE(::write(peer.MasterFd(), reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
    // its byte count does not fit the six registers asked for: an error reply
    QTRY_VERIFY_WITH_TIMEOUT(Form1->State.ErrorRecords > errorsBefore, kWaitMs);
    ClickScan();
    QCOMPARE(Form1->UoutFreq->text(), QString("-"));
    Form1->Comm1->ClosePort();
    Connect(false);
  }

  // Closing the window during read all: read all stops before the close
  // question, and nothing else appears while the question is open.
  void closeStopsReadAll() {
    ClickTab(1);
    QTest::mouseClick(Form1->ReadAll, Qt::LeftButton);
    QVERIFY2(Form1->State.ReadAllActive, qPrintable(dialogs_.Texts().join("|") + Form1->ReadAll->text()));
    QTRY_VERIFY_WITH_TIMEOUT(rig_.sim->ReceivedFrames().size() >= 3, kWaitMs);
    QStringList shown;
    std::size_t requestsAtQuestion = 0;
    Dialogs::SetHandler([&](const Dialogs::Request &request) {
      shown << request.text;
      if (request.kind == Dialogs::Kind::OkCancel) {
        requestsAtQuestion = rig_.sim->ReceivedFrames().size();
        QTest::qWait(600); // the user reads the question
      }
      return Dialogs::Answer{};
    });
    Form1->Exit2->trigger();
    QCOMPARE(shown, QStringList{"Do you want to save changes?"});
    QCOMPARE(rig_.sim->ReceivedFrames().size(), requestsAtQuestion);
    QVERIFY(!Form1->State.ReadAllActive);
    QVERIFY(!Form1->isVisible());
  }
};

VDD_TEST_MAIN(TestExchangeOutcomes)
#include "test_exchange_outcomes.moc"
