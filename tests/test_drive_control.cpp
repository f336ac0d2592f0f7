// The drive panels end to end: commands, scans and the user's command go
// through the real send timer, serial component and a pseudo-terminal to the
// drive simulator, whose replies drive the lamps, the status values and the
// motor status table.
#include "app/MainWindow.h"
#include "app/drive/TUmotorPara.h"
#include "app/settings/TProtocolSet.h"
#include "protocol/HexText.h"
#include "serial/TComm.h"
#include "session/DriveControl.h"
#include "session/UserCommand.h"
#include "sim/DriveSimulator.h"
#include "support/DialogRecorder.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"
#include "tests/support/EngineStateAccess.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <memory>

namespace {
std::vector<std::string> StatusRequests(const std::vector<int> &addresses) {
  static const char digits[] = "0123456789ABCDEF";
  std::vector<std::string> frames;
  for (int address : addresses) {
    // ":" + address + "0310000006" + LRC + CR LF
    const int lrc = (0x100 - ((address + 0x03 + 0x10 + 0x06) & 0xFF)) & 0xFF;
    std::string frame = ":";
    frame += digits[address >> 4];
    frame += digits[address & 0xF];
    frame += "0310000006";
    frame += digits[lrc >> 4];
    frame += digits[lrc & 0xF];
    frames.push_back(frame + "\r\n");
  }
  return frames;
}

struct Lamps {
  int run, stop, fwd, rev, jog, fault, com;
  bool operator==(const Lamps &) const = default;
};

Lamps ShownLamps() {
  return {Form1->UrunShape->BrushColor(), Form1->UstopShape->BrushColor(), Form1->UfwdShape->BrushColor(),
          Form1->UrevShape->BrushColor(), Form1->UjogShape->BrushColor(),  Form1->UfaultShape->BrushColor(),
          Form1->UcomShape->BrushColor()};
}

char *toString(const Lamps &l) {
  return qstrdup(QString("run %1 stop %2 fwd %3 rev %4 jog %5 fault %6 com %7")
                     .arg(l.run)
                     .arg(l.stop)
                     .arg(l.fwd)
                     .arg(l.rev)
                     .arg(l.jog)
                     .arg(l.fault)
                     .arg(l.com)
                     .toUtf8()
                     .constData());
}

QStringList FileLines(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {};
  const QString text = QString::fromLatin1(file.readAll());
  if (!text.endsWith("\r\n"))
    return {"(no CR LF at the end)"};
  QStringList lines = text.split("\r\n");
  lines.removeLast();
  return lines;
}
} // namespace

class TestDriveControl : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

  void Connect(std::vector<int> drives) {
    Form1->UpcSend->stop();
    Form1->Comm1->ClosePort();
    SimOptions options;
    options.drives = std::move(drives);
    if (!rig_.StartSimulator(options))
      return;
    rig_.ChoosePort(false); // ASCII
    if (!rig_.ApplyPort())  // the tests run the ticks themselves
      return;
    // The reply is judged at the second tick after the request; Tick() waits
    // for it to arrive first, so a slow machine never makes a time-out.
    Form1->TimeoutMs = 0;
    CommState &s = EngineStateAccess::Of(*Form1->Engine);
    s.WaitingReply = s.ControlPending = s.UserCmdPending = s.UserCmdAwaitingReply = false;
    s.ReceiveBuffer.clear();
    if (Form1->UPeriodScan->text() != "Scan")
      Form1->UPeriodScanClick();
    Form1->CheckBox1->setChecked(false);
    Form1->MachineID->setEditText("1");
    dialogs_.Clear();
  }

  bool ReplyComplete() const {
    const std::string &buffer = Form1->State.ReceiveBuffer;
    return buffer.size() >= 2 && buffer.compare(buffer.size() - 2, 2, "\r\n") == 0;
  }

  void Tick() {
    if (Form1->State.WaitingReply && Form1->State.WaitTicks == 0)
      QTRY_VERIFY_WITH_TIMEOUT(ReplyComplete(), 20000);
    Form1->UpcSendTimer();
  }

  // Ticks until the simulator has seen `count` requests and their replies
  // have been handled.
  void TickUntilFrames(std::size_t count) {
    for (int ticks = 0; ticks < 2000; ++ticks) {
      if (rig_.sim->ReceivedFrames().size() >= count && !Form1->State.WaitingReply &&
          Form1->State.ReceiveBuffer.empty())
        return;
      Tick();
      if (QTest::currentTestFailed())
        return;
    }
    QFAIL("the requests did not go out");
  }

  void StartScan(bool series, const QString &from, const QString &to, const QString &list) {
    (series ? Form1->SeriesType : Form1->ArbitraryType)->setChecked(true);
    Form1->SeriesStart->setText(from);
    Form1->SeriesStop->setText(to);
    Form1->ArbitraryNum->setText(list);
    Form1->ScanPeriod->setText("100");
    Form1->UPeriodScanClick();
  }

  QString Cell(int row, int column) const { return UmotorPara->Cell(row, column); }

private slots:
  void initTestCase() {
    if (!rig_.CreateWindows())
      return;
    // the first activation configures the port from the settings: let it
    // happen before the tests point the port at the simulator
    Form1->show();
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    QTRY_VERIFY(Form1->Activated);
    Form1->DriveSeries->setCurrentIndex(0);
    LocaleDecimalSeparator = std::string(1, '.');
  }

  void cleanupTestCase() { rig_.TearDown(); }

  // FWD START to drive 10: the framed request on the line, the lamps after
  // the echo; an address that is no number or out of range queues nothing.
  void commandGoesOutAndLightsLamps() {
    Connect({1, 10});
    Form1->MachineID->setEditText("10");
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QVERIFY(Form1->State.ControlPending);
    QCOMPARE(Form1->State.ControlFrame, std::string("0A0620000001"));
    TickUntilFrames(1);
    QCOMPARE(rig_.sim->ReceivedFrames(), std::vector<std::string>{":0A0620000001CF\r\n"});
    using namespace LampColor;
    QCOMPARE(ShownLamps(), (Lamps{Green, Off, Green, Off, Off, Off, Off}));

    // DEC STOP through the tool bar's STOP off the sequence tab
    QTest::mouseClick(Form1->UdefStop, Qt::LeftButton);
    QCOMPARE(Form1->State.ControlFrame, std::string("0A0620000003"));
    TickUntilFrames(2);
    QCOMPARE(ShownLamps(), (Lamps{Off, Olive, Off, Off, Off, Off, Off}));

    // no address: the conversion error is shown and nothing is queued
    Form1->MachineID->setEditText("");
    dialogs_.Clear();
    QTest::mouseClick(Form1->URevStart, Qt::LeftButton);
    QCOMPARE(dialogs_.LastText(), QString("'' is not a valid integer value"));
    QVERIFY(!Form1->State.ControlPending);
    QCOMPARE(Form1->State.ControlFrame, std::string("0A0620000003"));
    // an address beyond the two hex digits of the request is refused
    Form1->MachineID->setEditText("300");
    QTest::mouseClick(Form1->UReset, Qt::LeftButton);
    QCOMPARE(dialogs_.LastText(), QString("Invalid input! Valid range:0-247!"));
    QVERIFY(!Form1->State.ControlPending);
    QCOMPARE(Form1->Control->LastCommand(), 3);
  }

  // Press and release within one tick: only the stop of the jog goes out.
  // Any mouse button jogs.
  void jogPressAndReleaseWithinOneTick() {
    Connect({1});
    QTest::mousePress(Form1->UFwdJog, Qt::RightButton);
    QCOMPARE(Form1->State.ControlFrame, std::string("010620000005"));
    QTest::mouseRelease(Form1->UFwdJog, Qt::RightButton);
    QCOMPARE(Form1->State.ControlFrame, std::string("010620000006"));
    TickUntilFrames(1);
    QCOMPARE(rig_.sim->ReceivedFrames(), std::vector<std::string>{":010620000006D3\r\n"});

    QTest::mousePress(Form1->URevJog, Qt::LeftButton);
    TickUntilFrames(2);
    QCOMPARE(rig_.sim->ReceivedFrames().back(), std::string(":01062000000ACF\r\n"));
    using namespace LampColor;
    QCOMPARE(ShownLamps(), (Lamps{Green, Off, Off, Green, Green, Off, Off}));
    QTest::mouseRelease(Form1->URevJog, Qt::LeftButton);
    TickUntilFrames(3);
    QCOMPARE(rig_.sim->ReceivedFrames().back(), std::string(":01062000000BCE\r\n"));
  }

  // The address box: digits only, "0" switches broadcast on, leaving it with
  // a bad value is refused; broadcast and scan exclude each other.
  void addressBoxAndBroadcast() {
    Connect({1, 2});
    Form1->MachineID->setEditText("");
    Form1->MachineID->setFocus();
    QTest::keyClicks(Form1->MachineID, "a2-x");
    QCOMPARE(Form1->MachineID->currentText(), QString("2"));
    QVERIFY(!Form1->CheckBox1->isChecked());
    Form1->MachineIDExit();
    QCOMPARE(Form1->PrevMachineID, std::string("2"));

    Form1->MachineID->setEditText("248");
    Form1->MachineIDExit();
    QCOMPARE(dialogs_.LastText(), QString("Invalid input! Valid range:0-247!"));
    QCOMPARE(Form1->PrevMachineID, std::string("2"));

    Form1->MachineID->setEditText("");
    QTest::keyClicks(Form1->MachineID, "0");
    QVERIFY(Form1->CheckBox1->isChecked());
    QVERIFY(!Form1->MachineID->isEnabled());
    QCOMPARE(Form1->PrevMachineID, std::string("0"));
    Form1->CheckBox1->setChecked(false);
    QCOMPARE(Form1->MachineID->currentText(), QString("1"));
    QVERIFY(Form1->MachineID->isEnabled());

    // a broadcast command is sent and not awaited
    Form1->CheckBox1->setChecked(true);
    QTest::mouseClick(Form1->UStart, Qt::LeftButton);
    QCOMPARE(Form1->State.ControlFrame, std::string("000620000008"));
    Tick();
    QTRY_COMPARE(rig_.sim->ReceivedFrames(), std::vector<std::string>{":000620000008D2\r\n"});
    QVERIFY(!Form1->State.WaitingReply);

    // no scan while broadcasting
    dialogs_.Clear();
    StartScan(true, "1", "2", "1");
    QCOMPARE(dialogs_.LastText(), QString("Stop broadcast before you start refresh!"));
    QVERIFY(!Form1->State.ScanRunning);
    QCOMPARE(Form1->UPeriodScan->text(), QString("Scan"));
    Form1->CheckBox1->setChecked(false);
    QCOMPARE(Form1->MachineID->currentText(), QString("1"));

    // no broadcast while scanning
    StartScan(true, "1", "2", "1");
    QVERIFY(Form1->State.ScanRunning);
    dialogs_.Clear();
    Form1->CheckBox1->click();
    QCOMPARE(dialogs_.Texts(), QStringList{"Scanning!Plese close Scan before starting broadcast!"});
    QVERIFY(!Form1->CheckBox1->isChecked());
    QCOMPARE(Form1->MachineID->currentText(), QString("1"));
    Form1->MachineID->setEditText("0");
    QCOMPARE(dialogs_.LastText(), QString("Scanning!Plese close Scan before starting broadcast!"));
    QCOMPARE(Form1->MachineID->currentText(), QString("1"));
    QVERIFY(!Form1->CheckBox1->isChecked());
    Form1->UPeriodScanClick();
    QVERIFY(!Form1->State.ScanRunning);
  }

  // A range 3..5 polls 3, 4, 5, 3 and fills rows 3 to 5; only the drive in
  // MachineID reaches the main window's values. A fault shows its name.
  void seriesScanFillsTheTable() {
    Connect({3, 4, 5});
    rig_.sim->SetParameter(4, DriveModel::AccelerationRegister, 0); // at speed at once
    rig_.sim->SetParameter(4, DriveModel::SetFrequencyRegister, 4000);
    Form1->MachineID->setEditText("4");
    Form1->UFwdStartClick();
    TickUntilFrames(1);
    rig_.sim->InjectDriveFault(5, 10);
    rig_.sim->ClearReceivedFrames();
    Form1->UoutFreq->clear();

    StartScan(true, "3", "5", "1");
    QCOMPARE(Form1->UPeriodScan->text(), QString("Pause"));
    QVERIFY(Form1->SeriesStart->isReadOnly());
    QVERIFY(!Form1->SeriesType->isEnabled());
    QVERIFY(!Form1->UProtocol->isEnabled());
    TickUntilFrames(4);
    QCOMPARE(rig_.sim->ReceivedFrames(), StatusRequests({3, 4, 5, 3}));

    // drive 4 runs at its set frequency of 40.00 Hz with a 4-pole motor:
    // 1200 r/min
    const auto block = rig_.sim->StatusBlock(4);
    QVERIFY(block.has_value());
    QCOMPARE((*block)[0], std::uint16_t(4000));
    QCOMPARE(Cell(4, 0), QString("4"));
    QCOMPARE(Cell(4, TUmotorPara::FrequencyColumn), QString("40.00"));
    QCOMPARE(Cell(4, TUmotorPara::SpeedColumn), QString("1200"));
    QCOMPARE(Cell(4, TUmotorPara::DcVoltageColumn), QString::number(DriveModel::DcBusVolts));
    QCOMPARE(Cell(4, TUmotorPara::MachineStatusColumn), QString("Forward Start"));
    QCOMPARE(Cell(3, TUmotorPara::FrequencyColumn), QString("0.00"));
    QCOMPARE(Cell(3, TUmotorPara::MachineStatusColumn), QString("Stop"));
    QCOMPARE(Cell(5, TUmotorPara::MachineStatusColumn), QString("OL2"));
    QCOMPARE(Cell(6, TUmotorPara::FrequencyColumn), QString());

    // the main window shows drive 4 only; the machine status follows every reply
    QCOMPARE(Form1->UoutFreq->text(), QString("40.00"));
    QCOMPARE(Form1->UoutSpeed->text(), QString("1200"));
    QCOMPARE(Form1->machinestate->text(), QString("Forward Start")); // drive 4, not the last to answer
    using namespace LampColor;
    QCOMPARE(ShownLamps(), (Lamps{Green, Off, Green, Off, Off, Off, Off}));

    // with no drive series selected a status reply changes no display
    Form1->DriveSeries->setCurrentIndex(-1);
    EngineStateAccess::Of(*Form1->Engine).ReplyBytes = {4, 3, 12, 0x03, 0xE8, 0, 0, 0, 0, 4, 0, 0, 0, 100, 0};
    Form1->ShowDriveStatus();
    QCOMPARE(Form1->UoutFreq->text(), QString("40.00"));
    QCOMPARE(Cell(4, TUmotorPara::FrequencyColumn), QString("40.00"));
    Form1->DriveSeries->setCurrentIndex(0);
    Form1->ShowDriveStatus();
    QCOMPARE(Form1->UoutFreq->text(), QString("10.00"));
    QCOMPARE(Cell(4, TUmotorPara::MachineStatusColumn), QString("Stop"));

    // Pause, then Scan again starts the range from its first address
    Form1->UPeriodScanClick();
    QCOMPARE(Form1->UPeriodScan->text(), QString("Scan"));
    QVERIFY(!Form1->SeriesStart->isReadOnly());
    QVERIFY(Form1->UProtocol->isEnabled());
    rig_.sim->ClearReceivedFrames();
    StartScan(true, "5", "3", "1");
    TickUntilFrames(5);
    QCOMPARE(rig_.sim->ReceivedFrames(), StatusRequests({5, 4, 3, 5, 5}));
    QCOMPARE(Form1->machinestate->text(), QString("Forward Start"));
    Form1->UPeriodScanClick();
  }

  // The list check, the list scan, and a scan of nothing refused.
  void listScan() {
    Connect({1, 3, 4, 20});
    Form1->ArbitraryNum->setText("1,3,4,20,");
    Form1->ArbitraryNumExit();
    QCOMPARE(Form1->ArbitraryNum->text(), QString("1,3,4,20"));
    QVERIFY(dialogs_.Texts().isEmpty());
    StartScan(false, "1", "1", "1,3,4,20,");
    QVERIFY(Form1->State.ScanRunning);
    TickUntilFrames(5);
    QCOMPARE(rig_.sim->ReceivedFrames(), StatusRequests({1, 3, 4, 20, 1}));
    QCOMPARE(Cell(20, TUmotorPara::MachineStatusColumn), QString("Stop"));
    Form1->UPeriodScanClick();

    for (const auto &[list, message] : {std::pair{"1,300,4", "Invalid data! Range:1-247!"},
                                        std::pair{"1,3,300", "Invalid input data! Valid range: 1-247."},
                                        std::pair{"", "Please input data!"}}) {
      dialogs_.Clear();
      StartScan(false, "1", "1", list);
      QCOMPARE(dialogs_.Texts(), QStringList{message});
      QVERIFY(!Form1->State.ScanRunning);
      QCOMPARE(Form1->UPeriodScan->text(), QString("Scan"));
    }
    dialogs_.Clear();
    StartScan(true, "0", "5", "1");
    QCOMPARE(dialogs_.Texts(), QStringList{"Invalid data!  Range:1-247!"});
    QVERIFY(!Form1->State.ScanRunning);

    // a refused period keeps the last good one
    Form1->ScanPeriod->setText("360000");
    Form1->ScanPeriodExit();
    QCOMPARE(Form1->State.ScanPeriodMs, 360000);
    dialogs_.Clear();
    Form1->ScanPeriod->setText("99");
    Form1->ScanPeriodExit();
    QCOMPARE(dialogs_.Texts(), QStringList{"Invalid input data! Valid range: 100-360000."});
    QCOMPARE(Form1->State.ScanPeriodMs, 360000);
  }

  // The drive address emptied during a scan: one message, no request, and
  // the scan goes on once the address is a number again.
  void emptyAddressHoldsTheScan() {
    Connect({1});
    StartScan(true, "1", "1", "1");
    QLineEdit *address = Form1->MachineID->lineEdit();
    QTest::keyClick(address, Qt::Key_End);
    QTest::keyClick(address, Qt::Key_Backspace);
    QCOMPARE(Form1->MachineID->currentText(), QString());
    dialogs_.Clear();
    rig_.sim->ClearReceivedFrames();
    for (int tick = 0; tick < 40; ++tick)
      Tick();
    QCOMPARE(dialogs_.Texts(), QStringList{"'' is not a valid integer value"});
    QVERIFY(rig_.sim->ReceivedFrames().empty());
    QTest::keyClicks(address, "1");
    TickUntilFrames(1);
    QCOMPARE(rig_.sim->ReceivedFrames(), StatusRequests({1}));
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton); // pause
  }

  // The saved table: 248 lines, two blanks before each cell.
  void savedTable() {
    UmotorPara->SetCell(3, TUmotorPara::FrequencyColumn, "12.50");
    Form1->UmotorScanClick();
    QVERIFY(UmotorPara->isVisible());
    QCOMPARE(UmotorPara->StringGrid1->columnCount(), 16); // 12 saved, 4 counts
    QCOMPARE(UmotorPara->StringGrid1->rowCount(), 248);
    QCOMPARE(UmotorPara->StringGrid1->rowHeight(100), 24);
    // the designed width, where the screen has room for the designed widths
    if (!UmotorPara->StringGrid1->wordWrap())
      QCOMPARE(UmotorPara->StringGrid1->columnWidth(11), 116);

    const QString path = rig_.folder.filePath("status.doc");
    dialogs_.Clear();
    dialogs_.QueuePath(path);
    UmotorPara->save1->trigger();
    QCOMPARE(dialogs_.requests.size(), 1);
    QCOMPARE(dialogs_.requests[0].text, QString("machine_status.txt"));
    QCOMPARE(dialogs_.requests[0].filter, QString("text file(*.txt)|*.txt|word file(*.doc)|*.doc"));
    QStringList lines = FileLines(path);
    QCOMPARE(lines.size(), 248);
    QCOMPARE(lines[0], QString("  Address  Frequency  Output Voltage  Output Current  Current Speed"
                               "  DC Voltage  Current Tmp  Backwater Tmp  Current Humidity  Machine Status"
                               "  Com Status  Remark"));
    QVERIFY2(lines[3].startsWith("  3  12.50  "), qPrintable(lines[3]));
    QCOMPARE(lines[200], "  200" + QString(22, ' '));
    QCOMPARE(lines[247], "  247" + QString(22, ' '));

    // saving again writes the table as it stands now; a cancel writes nothing
    UmotorPara->SetCell(200, TUmotorPara::RemarkColumn, "spare");
    dialogs_.QueuePath(path);
    UmotorPara->save1Click();
    lines = FileLines(path);
    QCOMPARE(lines.size(), 248);
    QCOMPARE(lines[200], "  200" + QString(20, ' ') + "  spare");
    QFile::remove(path);
    UmotorPara->save1Click(); // no path queued: cancelled
    QVERIFY(!QFile::exists(path));

    UmotorPara->Exit1->trigger();
    QVERIFY(!UmotorPara->isVisible());
    QCOMPARE(Cell(3, TUmotorPara::FrequencyColumn), QString("12.50"));
  }

  // The user's command: field checks, the request text, one request per tick.
  void userCommand() {
    Connect({1, 10});
    Form1->RandW->setCurrentIndex(1);
    QCOMPARE(Form1->LengthOrData->text(), QString("Data"));
    Form1->RandW->setCurrentIndex(0);
    QCOMPARE(Form1->LengthOrData->text(), QString("Length"));

    Form1->UdefineAddr->clear();
    Form1->UdefineAddr->setFocus();
    QTest::keyClicks(Form1->UdefineAddr, "a1g0F0");
    QCOMPARE(Form1->UdefineAddr->text(), QString("10F0"));
    Form1->UdefineAddr->setText("A");
    QVERIFY(Form1->UdefineAddrExit());
    QCOMPARE(Form1->UdefineAddr->text(), QString("000A"));

    Form1->UdefineMachine->setEditText("10");
    Form1->UdefineAddr->setText("1000");
    Form1->Edit7->setText("1");
    Form1->UserDefineSendClick();
    QCOMPARE(Form1->State.UserCmdFrame, std::string("0A0310000001"));
    QCOMPARE(Form1->Edit7->text(), QString("1"));
    QVERIFY(Form1->State.UserCmdPending);
    // a second press before the tick replaces the first
    Form1->Edit7->setText("2");
    QTest::mouseClick(Form1->UserDefineSend, Qt::LeftButton);
    Form1->MachineID->setEditText("10");
    TickUntilFrames(1);
    Tick();
    QCOMPARE(rig_.sim->ReceivedFrames(), std::vector<std::string>{":0A0310000002E1\r\n"});

    Form1->UdefineMachine->setEditText("0");
    Form1->RandW->setCurrentIndex(1);
    Form1->Edit7->setText("FF");
    Form1->UserDefineSendClick();
    QCOMPARE(Form1->State.UserCmdFrame, std::string("0006100000FF"));

    // refused fields queue nothing; both messages appear, the address's first
    EngineStateAccess::Of(*Form1->Engine).UserCmdPending = false;
    dialogs_.Clear();
    Form1->UdefineAddr->clear();
    Form1->UserDefineSendClick();
    QCOMPARE(dialogs_.Texts(), QStringList{"Invalid input! "});
    QVERIFY(!Form1->State.UserCmdPending);
    dialogs_.Clear();
    Form1->UdefineAddr->setText("10000");
    Form1->Edit7->clear();
    Form1->UserDefineSendClick();
    QCOMPARE(dialogs_.Texts(),
             (QStringList{"Error input! Please input hex data range:0000-FFFF!", "Invalid input! "}));
    QVERIFY(Form1->OwnCommand->Invalid());
    dialogs_.Clear();
    Form1->UdefineAddr->setText("1000");
    Form1->Edit7->setText("12345");
    Form1->UserDefineSendClick();
    QCOMPARE(dialogs_.Texts(), QStringList{"Invalid input! Valid range:0000-FFFF!"});
    QVERIFY(!Form1->State.UserCmdPending);
    dialogs_.Clear();
    Form1->Edit7->setText("1");
    Form1->UdefineMachine->setEditText("300");
    Form1->UserDefineSendClick();
    QCOMPARE(dialogs_.Texts(), QStringList{"Invalid input! Valid range:0-247!"});
    QVERIFY(!Form1->State.UserCmdPending);
  }

  // Leaving a field runs its check and takes the focus back on a bad value.
  void leavingAFieldChecksIt() {
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    Form1->ScanPeriod->setText("99");
    Form1->ScanPeriod->setFocus();
    QTRY_VERIFY(Form1->ScanPeriod->hasFocus());
    Form1->SeriesStart->setText("1");
    dialogs_.Clear();
    Form1->SeriesStart->setFocus();
    QTRY_COMPARE(dialogs_.Texts(), QStringList{"Invalid input data! Valid range: 100-360000."});
    QVERIFY(Form1->ScanPeriod->hasFocus());
    QCOMPARE(Form1->ScanPeriod->selectedText(), QString("99"));
    Form1->ScanPeriod->setText("500");
    Form1->SeriesStart->setFocus();
    QTRY_COMPARE(Form1->State.ScanPeriodMs, 500);
    QVERIFY(Form1->SeriesStart->hasFocus());
    // tabbing on from a refused range field brings the focus back to it
    Form1->SeriesStart->setText("248");
    QTest::keyClick(Form1->SeriesStart, Qt::Key_Tab);
    QTRY_COMPARE(dialogs_.Texts().size(), 2);
    QCOMPARE(dialogs_.LastText(), QString("Invalid data!  Range:1-247!"));
    QVERIFY(Form1->SeriesStart->hasFocus());
    QTest::qWait(50);
    QCOMPARE(dialogs_.Texts().size(), 2); // and starts no other check
  }
};

VDD_TEST_MAIN(TestDriveControl)
#include "test_drive_control.moc"
