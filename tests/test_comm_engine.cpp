// The communication engine end to end: requests framed by the program go
// through the real serial component and a pseudo-terminal to the drive
// simulator, whose replies come back the same way and are judged when the
// reply window has passed.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "protocol/ConvertError.h"
#include "protocol/HexText.h"
#include "serial/TComm.h"
#include "sim/DriveSimulator.h"
#include "support/DialogRecorder.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"
#include "tests/support/EngineStateAccess.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <memory>

namespace {
const QString Stamp = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\])";
const QString ReplyMark = "  ----- R >   ";
const QString NoResponse = "  -----> No response!   ";
const int Red = 255;
const int Black = 0;

bool Matches(const QString &text, const QString &pattern) {
  return QRegularExpression("^" + pattern + "$").match(text).hasMatch();
}

// The one colour of a whole history line; invalid when the line is mixed.
QColor LineColor(int line) {
  const QTextBlock block = Form1->SendRevHistory->document()->findBlockByNumber(line);
  QColor color;
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QColor fragment = it.fragment().charFormat().foreground().color();
    if (color.isValid() && fragment != color)
      return {};
    color = fragment;
  }
  return color;
}

QString LastLine() { return Form1->HistoryLine(Form1->HistoryLineCount() - 1); }
} // namespace

class TestCommEngine : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  bool rtu_ = false;

  // A fresh simulator behind COM2 and the port configured for it.
  void Connect(bool rtu, int baudIndex = 5, LineFaults faults = {}) {
    SimOptions options;
    options.rtu = rtu;
    options.drives = {1, 2};
    options.faults = faults;
    rtu_ = rtu;
    if (!rig_.Reconnect(options, baudIndex)) // ticks are run by hand unless a test starts the timer
      return;
    QCOMPARE(Form1->IsRtuMode(), rtu);
    Reset();
  }

  void Reset() {
    CommState &s = EngineStateAccess::Of(*Form1->Engine);
    s.WaitingReply = false;
    s.ReceiveBuffer.clear();
    s.ReceivedCount = 0;
    s.DataArrived = false;
    s.WaitTicks = 0;
    s.ControlPending = s.UserCmdPending = s.UserCmdAwaitingReply = s.SequenceAwaitingReply = false;
    EngineStateAccess::Of(*Form1->Engine).ReadPending = EngineStateAccess::Of(*Form1->Engine).ModifyPending =
        false;
    Form1->MachineID->setCurrentText("1");
    Form1->clear1Click();
    rig_.sim->ClearReceivedFrames();
  }

  // Runs ticks by hand, letting the port deliver between them, until nothing
  // is awaited and nothing waits in the receive buffer.
  int TickUntilSettled() {
    int ticks = 0;
    do {
      QTest::qWait(Form1->State.TickMs); // reply windows pass in real time
      Form1->UpcSendTimer();
      ++ticks;
    } while ((Form1->State.WaitingReply || !Form1->State.ReceiveBuffer.empty()) && ticks < 100000);
    return ticks;
  }

  // Sends one request with the given reply window and ticks until its
  // exchange is over.
  void Exchange(int timeoutMs, const std::string &body) {
    Form1->TimeoutMs = timeoutMs;
    Form1->SendFrame(body);
    TickUntilSettled();
  }

  // True once a whole frame of the current mode is in the receive buffer.
  bool ReplyInBuffer(std::size_t rtuBytes = 7) const {
    const std::string &buffer = Form1->State.ReceiveBuffer;
    if (rtu_)
      return buffer.size() >= rtuBytes * 2;
    return buffer.size() >= 2 && buffer.compare(buffer.size() - 2, 2, "\r\n") == 0;
  }

private slots:
  void initTestCase() {
    if (!rig_.CreateWindows())
      return;
    Form1->TimeoutMs = 500;
  }

  void cleanupTestCase() { rig_.TearDown(); }

  // ASCII through the running timer: a control command goes out framed,
  // is logged red, and its echo completes the line in black.
  void asciiExchangeThroughTheTimer() {
    Connect(false);
    Form1->TimeoutMs = 100;
    EngineStateAccess::Of(*Form1->Engine).ControlFrame = "010620000001";
    EngineStateAccess::Of(*Form1->Engine).ControlPending = true;
    Form1->UpcSend->start();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->State.TotalRecords == 1 && !Form1->State.WaitingReply, 20000);
    Form1->UpcSend->stop();

    QCOMPARE(rig_.sim->ReceivedFrames(), std::vector<std::string>{":010620000001D8\r\n"});
    QCOMPARE(Form1->HistoryLineCount(), 1);
    QVERIFY2(Matches(LastLine(), Stamp + " Send  >   :010620000001D8/x0D/x0A" +
                                     QRegularExpression::escape(ReplyMark) + ":010620000001D8/x0D/x0A"),
             qPrintable(LastLine()));
    QCOMPARE(LineColor(0), ColorFromBgr(Black));
    QCOMPARE(Form1->State.ErrorRecords, 0);
    QCOMPARE(Form1->UcomShape->BrushColor(), LampColor::Off);
    QCOMPARE(Form1->StatusBar1->PanelText(1), QString("   Total Record   1"));

    // a status read: the reply is decoded into ReplyBytes
    Form1->SendFrame("010310000001");
    QCOMPARE(LineColor(1), ColorFromBgr(Red));
    QVERIFY(Form1->State.WaitingReply);
    TickUntilSettled();
    QVERIFY2(LastLine().contains(ReplyMark + ":010302"), qPrintable(LastLine()));
    QCOMPARE(LineColor(1), ColorFromBgr(Black));
    QCOMPARE(Form1->State.ReplyBytes[0], std::uint8_t(1));
    QCOMPARE(Form1->State.ReplyBytes[1], std::uint8_t(3));
    QCOMPARE(Form1->State.ReplyBytes[2], std::uint8_t(2));
    QCOMPARE(Form1->State.ErrorRecords, 0);
  }

  // RTU: binary bytes with the CRC on the line, hex text in the history.
  void rtuExchange() {
    Connect(true);
    Form1->TimeoutMs = 100;
    Form1->SendFrame("010310000001");
    QVERIFY2(Matches(LastLine(), Stamp + " Send  >   010310000001" + "80CA"), qPrintable(LastLine()));
    TickUntilSettled();
    QCOMPARE(rig_.sim->ReceivedFrames(), std::vector<std::string>{"01031000000180CA"});
    const QString line = LastLine();
    QVERIFY2(Matches(line, Stamp + " Send  >   01031000000180CA" + QRegularExpression::escape(ReplyMark) +
                               "010302[0-9A-F]{8}"),
             qPrintable(line));
    QCOMPARE(LineColor(0), ColorFromBgr(Black));
    QCOMPARE(Form1->State.ErrorRecords, 0);
    QCOMPARE(Form1->State.TimeoutRecords, 0);

    // A read of 32 registers answers 69 bytes, more than ReplyBytes holds:
    // it is checked and logged whole, and ReplyBytes keeps its first 50.
    EngineStateAccess::Of(*Form1->Engine).UserCmdAwaitingReply = true; // the user's own read: only logged
    Form1->SendFrame("010301000020");
    QTRY_VERIFY2_WITH_TIMEOUT(ReplyInBuffer(69), Form1->State.ReceiveBuffer.c_str(), 10000);
    const std::string reply = Form1->State.ReceiveBuffer;
    TickUntilSettled();
    QCOMPARE(reply.size(), std::size_t(69 * 2));
    QVERIFY(LastLine().endsWith(ReplyMark + QString::fromStdString(reply)));
    QCOMPARE(LineColor(1), ColorFromBgr(Black));
    QCOMPARE(BytesToHex(Form1->State.ReplyBytes.data(), 50), reply.substr(0, 100));
    QVERIFY(!Form1->State.UserCmdAwaitingReply);
    QCOMPARE(Form1->State.ErrorRecords, 0);
  }

  // No reply: the line stays red with the no-response note, the time-out is
  // counted and the lamps show the failure.
  void timeOut() {
    for (bool rtu : {false, true}) {
      Connect(rtu, 5, {.dropProbability = 1});
      Exchange(60, "010310000001");
      QVERIFY2(LastLine().endsWith(NoResponse), qPrintable(LastLine()));
      QVERIFY(!LastLine().contains(ReplyMark));
      QCOMPARE(LineColor(0), ColorFromBgr(Red));
      QCOMPARE(Form1->State.TimeoutRecords, 1);
      QCOMPARE(Form1->StatusBar1->PanelText(3), QString("   Timeout Record   1"));
      QCOMPARE(Form1->UcomShape->BrushColor(), LampColor::Red);
      QCOMPARE(Form1->UstopShape->BrushColor(), LampColor::Olive);
      QCOMPARE(Form1->UrunShape->BrushColor(), LampColor::Off);
      QVERIFY(!Form1->State.WaitingReply);
    }
  }

  // The reply window ends at the tick where (ticks waited - 1) x tick > time-out,
  // however early the reply came.
  void replyWindowEndsAtTheComputedTick() {
    struct Case {
      int baudIndex; // tick length by baud rate
      int timeoutMs;
      int judgedAtTick;
    };
    for (const Case c : {Case{3, 500, 8}, Case{3, 0, 2}, Case{0, 500, 2}, Case{5, 100, 7}}) {
      Connect(false, c.baudIndex);
      Form1->TimeoutMs = c.timeoutMs;
      Form1->SendFrame("010310000001");
      QTRY_VERIFY_WITH_TIMEOUT(ReplyInBuffer(), 10000);
      int tick = 0;
      while (Form1->State.WaitingReply) {
        Form1->UpcSendTimer();
        ++tick;
        QVERIFY(tick <= c.judgedAtTick);
        if (tick < c.judgedAtTick)
          QVERIFY(!LastLine().contains(ReplyMark));
      }
      QCOMPARE(tick, c.judgedAtTick);
      QVERIFY2(LastLine().contains(ReplyMark + ":0103"), qPrintable(LastLine()));
    }
  }

  // Replies that must not be accepted, and one that must despite arriving in pieces.
  void errorReplies() {
    // a reply in two pieces within the window is accepted
    Connect(false, 5, {.splitPieces = 2, .splitGapMs = 40});
    Exchange(400, "010310000001");
    QCOMPARE(LineColor(0), ColorFromBgr(Black));
    QCOMPARE(Form1->State.ErrorRecords, 0);

    // an exception reply: the command 0007 is an illegal value
    Connect(false);
    Exchange(100, "010620000007");
    QVERIFY2(LastLine().contains(ReplyMark + ":0186"), qPrintable(LastLine()));
    QCOMPARE(LineColor(0), ColorFromBgr(Red));
    QCOMPARE(Form1->State.ErrorRecords, 1);
    QCOMPARE(Form1->StatusBar1->PanelText(2), QString("   Error Record   1"));
    QCOMPARE(Form1->UcomShape->BrushColor(), LampColor::Red);
    QCOMPARE(Form1->UstopShape->BrushColor(), LampColor::Off);

    // a wrong checksum, in either mode
    for (bool rtu : {false, true}) {
      Connect(rtu, 5, {.corruptProbability = 1});
      Exchange(100, "010310000001");
      QVERIFY2(LastLine().contains(ReplyMark), qPrintable(LastLine()));
      QCOMPARE(LineColor(0), ColorFromBgr(Red));
      QCOMPARE(Form1->State.ErrorRecords, 1);
      QCOMPARE(Form1->State.TimeoutRecords, 0);
    }

    // An ASCII frame still incomplete when the window ends is an error; its
    // rest, when it comes, falls in the quiet after the refusal and is
    // logged late, on a line of its own, never taken.
    Connect(false, 5, {.splitPieces = 2, .splitGapMs = 1500});
    Form1->TimeoutMs = 100;
    Form1->SendFrame("010310000001");
    QTRY_VERIFY_WITH_TIMEOUT(!Form1->State.ReceiveBuffer.empty(), 10000);
    TickUntilSettled();
    QCOMPARE(Form1->State.ErrorRecords, 1);
    QVERIFY2(LastLine().contains(ReplyMark + ":01"), qPrintable(LastLine()));
    const long long late = Form1->State.LateReplies;
    QTRY_VERIFY_WITH_TIMEOUT(!Form1->State.ReceiveBuffer.empty(), 10000);
    TickUntilSettled();
    QTRY_VERIFY_WITH_TIMEOUT((Form1->UpcSendTimer(), Form1->State.LateReplies == late + 1), 10000);
    QCOMPARE(Form1->State.ErrorRecords, 1);
    // the rest holds the CR LF, shown as marks so that the line stays one line
    QCOMPARE(Form1->HistoryLineCount(), 2);
    QVERIFY2(LastLine().endsWith("/x0D/x0A"), qPrintable(LastLine()));
  }

  // A reply that comes after its request timed out is logged as late and is
  // never taken for the answer of the next request, which goes out only once
  // the line has been quiet for a reply window. The ticks run faster than
  // real time, so the late reply surely comes after its window.
  void lateReplyIsNeverTheNextAnswer() {
    Connect(false, 5, {.lateMs = 300});
    Form1->TimeoutMs = 100;
    CommState &s = EngineStateAccess::Of(*Form1->Engine);
    const long long accepted = s.AcceptedReplies;
    const long long late = s.LateReplies;
    EngineStateAccess::Of(*Form1->Engine).ReadFrame = "0103010D0001";
    EngineStateAccess::Of(*Form1->Engine).ReadPending = true;
    Form1->UpcSendTimer();
    while (s.WaitingReply)
      Form1->UpcSendTimer();
    // read all's next record is ready at once
    EngineStateAccess::Of(*Form1->Engine).ReadFrame = "0103010E0001";
    EngineStateAccess::Of(*Form1->Engine).ReadPending = true;
    Form1->UpcSendTimer();
    QTRY_VERIFY_WITH_TIMEOUT(ReplyInBuffer(), 10000);
    QElapsedTimer ticking;
    ticking.start();
    while (ticking.elapsed() < 20000 && (Form1->State.ReadPending || s.WaitingReply || s.QuietWindowPending)) {
      QTest::qWait(1);
      Form1->UpcSendTimer();
    }
    // the simulator reads the second request a moment after it went out
    QTRY_COMPARE(rig_.sim->ReceivedFrames().size(), std::size_t(2));
    QCOMPARE(s.AcceptedReplies, accepted);
    QCOMPARE(s.LateReplies, late + 1);
    QCOMPARE(s.TimeoutRecords, 2);
    bool logged = false;
    for (int line = 0; line < Form1->HistoryLineCount(); ++line)
      logged = logged || Form1->HistoryLine(line).contains("Late reply, not taken >   :0103");
    QVERIFY(logged);
  }

  // Broadcasts are not awaited; of two commands in one tick only the last goes out;
  // reads wait while the address is 0 and control commands go first.
  void sendPriority() {
    Connect(false);
    Form1->TimeoutMs = 100;
    CommState &s = EngineStateAccess::Of(*Form1->Engine);

    s.ControlFrame = "010620000001"; // FWD START
    s.ControlPending = true;
    s.ControlFrame = "010620000003"; // DEC STOP, pressed in the same tick
    s.ControlPending = true;
    Form1->UpcSendTimer();
    TickUntilSettled();
    QCOMPARE(rig_.sim->ReceivedFrames(),
             std::vector<std::string>{":010620000003" + ComputeLRC("010620000003") + "\r\n"});

    rig_.sim->ClearReceivedFrames();
    Form1->MachineID->setCurrentText("0");
    EngineStateAccess::Of(*Form1->Engine).ReadPending = true;
    EngineStateAccess::Of(*Form1->Engine).ReadFrame = "000301000001";
    s.ControlFrame = "000620000001";
    s.ControlPending = true;
    Form1->UpcSendTimer();
    QVERIFY(!s.WaitingReply); // a broadcast is not awaited
    s.ControlFrame = "000620000003";
    s.ControlPending = true;
    Form1->UpcSendTimer(); // so the next command goes out at the next tick
    for (int i = 0; i < 5; ++i)
      Form1->UpcSendTimer();
    QVERIFY(Form1->State.ReadPending); // reads are never broadcast
    QCOMPARE(s.TotalRecords, 3);
    QTRY_COMPARE_WITH_TIMEOUT(rig_.sim->ReceivedFrames().size(), std::size_t(2), 10000);
    QCOMPARE(rig_.sim->ReceivedFrames()[1], ":000620000003" + ComputeLRC("000620000003") + "\r\n");

    // a control command pending beside a read goes first
    Form1->MachineID->setCurrentText("1");
    EngineStateAccess::Of(*Form1->Engine).ReadFrame = "010310000001";
    s.ControlFrame = "010620000001";
    s.ControlPending = true;
    Form1->UpcSendTimer();
    QCOMPARE(s.LastSentFrame, std::string("010620000001"));
    QVERIFY(Form1->State.ReadPending);
    TickUntilSettled();
    Form1->UpcSendTimer();
    QCOMPARE(s.LastSentFrame, std::string("010310000001"));
    QVERIFY(!Form1->State.ReadPending);
    TickUntilSettled();
  }

  // Requests that cannot go out whole are refused before anything changes.
  void refusedRequests() {
    for (bool rtu : {false, true}) {
      Connect(rtu);
      CommState &s = EngineStateAccess::Of(*Form1->Engine);
      s.LastSentFrame = "010310000001";

      Form1->SendFrame("0103100000010"); // odd length
      QCOMPARE(Form1->HistoryLineCount(), 1);
      QVERIFY2(LastLine().contains("0103100000010  -----> Not sent: "), qPrintable(LastLine()));
      QCOMPARE(s.TotalRecords, 0);
      QVERIFY(!s.WaitingReply);
      QCOMPARE(s.LastSentFrame, std::string("010310000001"));

      if (rtu) { // 102 bytes and the CRC do not fit the send buffer
        Form1->SendFrame("0110" + std::string(2 * 100, '0'));
        QCOMPARE(s.TotalRecords, 0);
        QVERIFY(!s.WaitingReply);
        QVERIFY(LastLine().contains("  -----> Not sent: "));
      }

      // the address box holds no number: nothing goes out at all
      Form1->MachineID->setCurrentText("x1");
      QVERIFY_THROWS_EXCEPTION(EConvertError, Form1->SendFrame("010310000001"));
      Form1->MachineID->setCurrentText("1");
      QCOMPARE(s.TotalRecords, 0);
      QVERIFY(!s.WaitingReply);
      QCOMPARE(Form1->HistoryLineCount(), rtu ? 2 : 1);
      QTest::qWait(200);
      QVERIFY(rig_.sim->ReceivedFrames().empty());
    }

    // RTU: a pair that is no hex number raises before a reply is awaited,
    // so no phantom time-out follows
    CommState &s = EngineStateAccess::Of(*Form1->Engine);
    try {
      Form1->SendFrame("01031G000001");
      QFAIL("no conversion error");
    } catch (const EConvertError &error) {
      QCOMPARE(std::string(error.what()), std::string("'$1G' is not a valid integer value"));
    }
    QVERIFY(!s.WaitingReply);
    QCOMPARE(s.LastSentFrame, std::string("010310000001"));
    QCOMPARE(s.TotalRecords, 0);
    for (int i = 0; i < 20; ++i)
      Form1->UpcSendTimer();
    QCOMPARE(s.TimeoutRecords, 0);

    // raised inside a tick, the error is shown once in the error box
    DialogRecorder dialogs;
    Form1->MachineID->setCurrentText("abc");
    EngineStateAccess::Of(*Form1->Engine).ReadFrame = "010310000001";
    EngineStateAccess::Of(*Form1->Engine).ReadPending = true;
    Form1->UpcSend->start();
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs.requests.isEmpty(), 10000);
    QTest::qWait(300);
    Form1->UpcSend->stop();
    QCOMPARE(dialogs.requests.size(), 1);
    QCOMPARE(dialogs.requests[0].kind, Dialogs::Kind::Error);
    QCOMPARE(dialogs.LastText(), QString("'abc' is not a valid integer value"));
    Form1->MachineID->setCurrentText("1");
  }

  // At most 101 lines; "Clear" empties the pane and zeroes the counters; a
  // completion that finds the pane empty stands on a line of its own.
  void historyBoundAndClear() {
    Connect(false);
    Form1->TimeoutMs = 0;
    Form1->MachineID->setCurrentText("0");
    for (int i = 0; i < 150; ++i)
      Form1->SendFrame("0006" + std::string(ByteToHex(static_cast<std::uint8_t>(i >> 8))) +
                       ByteToHex(static_cast<std::uint8_t>(i)) + "0001");
    QCOMPARE(Form1->HistoryLineCount(), 101);
    QVERIFY2(Form1->HistoryLine(0).contains(":00060031"), qPrintable(Form1->HistoryLine(0))); // request 49
    QVERIFY(Form1->HistoryLine(100).contains(":00060095"));                                   // request 149
    for (int line : {0, 50, 100})
      QCOMPARE(LineColor(line), ColorFromBgr(Red));
    QCOMPARE(Form1->State.TotalRecords, 150);

    Form1->TimeoutMs = 1000; // long enough for a busy machine
    EngineStateAccess::Of(*Form1->Engine).ErrorRecords = 3;
    EngineStateAccess::Of(*Form1->Engine).TimeoutRecords = 4;
    Form1->MachineID->setCurrentText("1");
    Form1->SendFrame("010310000001");
    Form1->clear1->trigger(); // the reply is still awaited
    QCOMPARE(Form1->HistoryLineCount(), 0);
    QCOMPARE(Form1->StatusBar1->PanelText(1), QString("   Total Record   0"));
    QCOMPARE(Form1->StatusBar1->PanelText(2), QString("   Error Record   0"));
    QCOMPARE(Form1->StatusBar1->PanelText(3), QString("   Timeout Record   0"));
    QVERIFY(Form1->State.WaitingReply);
    TickUntilSettled();
    QCOMPARE(Form1->HistoryLineCount(), 1);
    QVERIFY2(LastLine().startsWith(ReplyMark + ":0103"), qPrintable(LastLine()));
    QCOMPARE(LineColor(0), ColorFromBgr(Black));

    Form1->SendFrame("010310000001");
    QCOMPARE(Form1->StatusBar1->PanelText(1), QString("   Total Record   1"));
    TickUntilSettled();

    // colouring a line past the last changes nothing and keeps the caret
    QTextCursor caret = Form1->SendRevHistory->textCursor();
    caret.setPosition(5);
    Form1->SendRevHistory->setTextCursor(caret);
    Form1->ColorHistoryLine(2, Red);
    Form1->ColorHistoryLine(0, Red);
    QCOMPARE(LineColor(0), ColorFromBgr(Red));
    QCOMPARE(LineColor(1), ColorFromBgr(Black));
    QCOMPARE(Form1->SendRevHistory->textCursor().position(), 5);

    // "Select All" and "Copy" put the plain text on the clipboard
    Form1->Selectall1->trigger();
    Form1->copy1->trigger();
    const QString copied = QApplication::clipboard()->text();
    QCOMPARE(copied.split('\n').size(), 2);
    QVERIFY(copied.endsWith(LastLine()));
  }

  // A sequence step with "Add checksum into command" cleared goes out as it is.
  void rawSequenceStep() {
    Connect(false);
    Form1->TimeoutMs = 100;
    Form1->PageControl1->setCurrentIndex(2);
    Form1->UAddChecksum->setChecked(false);
    EngineStateAccess::Of(*Form1->Engine).SequenceAwaitingReply = true;
    Form1->SendFrame("010310000001");
    QVERIFY2(Matches(LastLine(), Stamp + " Send  >   010310000001"), qPrintable(LastLine()));
    QCOMPARE(Form1->State.SentFrameText, std::string("010310000001"));
    // with the box ticked the envelope is built
    EngineStateAccess::Of(*Form1->Engine).WaitingReply = false;
    Form1->UAddChecksum->setChecked(true);
    Form1->SendFrame("010310000001");
    QVERIFY(LastLine().endsWith(":010310000001EB/x0D/x0A"));
    EngineStateAccess::Of(*Form1->Engine).SequenceAwaitingReply = false;
    Form1->PageControl1->setCurrentIndex(0);
    TickUntilSettled();
  }

  // Confirming RTU in the settings window switches the data bits to 8 and
  // the framing with them; the status panel shows the settings.
  // A simulator that follows each request's framing answers the tool in
  // RTU and, after the user switches the mode, in ASCII on the same line.
  void simulatorFollowsTheMode() {
    Form1->Comm1->ClosePort();
    SimOptions options;
    options.followRequestMode = true;
    QVERIFY(rig_.StartSimulator(options));
    for (bool rtu : {true, false}) {
      rtu_ = rtu;
      rig_.ChooseLine(rtu, 5);
      QVERIFY(rig_.ApplyPort());
      Reset();
      Exchange(100, "010310000001");
      QVERIFY2(LastLine().contains(ReplyMark + (rtu ? "0103020000" : ":0103020000")), qPrintable(LastLine()));
      QCOMPARE(Form1->State.TimeoutRecords + Form1->State.ErrorRecords, 0);
    }
  }

  void portSettings() {
    Connect(false, 3);
    QCOMPARE(Form1->StatusBar1->PanelText(0),
             QString("          Protocol :  COM2, ASCII, 9600, 7, N, 1  \u2014  port open"));
    QCOMPARE(Form1->State.TickMs, 80);
    QCOMPARE(Form1->UpcSend->interval(), 80);
    ProtocolSet->ModbusMode->setCurrentIndex(1);
    QCOMPARE(ProtocolSet->UserDataBit->currentText(), QString("8"));
    ProtocolSet->UserBaud->setCurrentIndex(0);
    ProtocolSet->UserParity->setCurrentIndex(2);
    ProtocolSet->UserStopBit->setCurrentIndex(1);
    ProtocolSet->Button2->click(); // "Close" keeps the port as it is
    QCOMPARE(Form1->Comm1->ByteSize(), TByteSize::_7);
    ProtocolSet->Button1->click(); // "OK" applies
    Form1->UpcSend->stop();
    QCOMPARE(Form1->Comm1->ByteSize(), TByteSize::_8);
    QCOMPARE(Form1->Comm1->BaudRate(), std::uint32_t(1200));
    QCOMPARE(Form1->Comm1->Parity(), TParity::Even);
    QCOMPARE(Form1->Comm1->StopBits(), TStopBits::_2);
    QCOMPARE(Form1->State.TickMs, 600);
    QCOMPARE(Form1->StatusBar1->PanelText(0),
             QString("          Protocol :  COM2, RTU, 1200, 8, E, 2  \u2014  port open"));
    ProtocolSet->ModbusMode->setCurrentIndex(0);
    QCOMPARE(ProtocolSet->UserDataBit->currentText(), QString("7"));
    const int ticks[] = {600, 300, 150, 80, 40, 20, 20, 20};
    for (int i = 0; i < 8; ++i) {
      ProtocolSet->UserBaud->setCurrentIndex(i);
      Form1->ApplyPortSettings();
      QCOMPARE(Form1->State.TickMs, ticks[i]);
    }
    Form1->UpcSend->stop();
  }
};

VDD_TEST_MAIN(TestCommEngine)
#include "test_comm_engine.moc"
