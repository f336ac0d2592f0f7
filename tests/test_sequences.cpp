// The user's define sequence: the request texts and reply values on their
// own, then whole runs through the real serial component and a
// pseudo-terminal to the drive simulator, and the editing of the list.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "protocol/HexText.h"
#include "sequences/SequenceRequest.h"
#include "serial/TComm.h"
#include "session/SequenceRun.h"
#include "sim/DriveSimulator.h"
#include "sim/PseudoTerminal.h"
#include "support/DialogRecorder.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr int Rows = 36;

// Register decimals as the RM40 table gives them, for the reply texts.
int TwoDecimalsAt0105(std::uint16_t reg) { return reg == 0x0105 ? 2 : 0; }

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values)
    out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

} // namespace

class TestSequences : public QObject {
  Q_OBJECT

  SimulatedRig rig_;

  void Configure(bool rtu) {
    rig_.ChooseLine(rtu, 5);
    rig_.ApplyPort(); // the tests tick by hand
  }

  void Connect(LineFaults faults = {}) {
    Form1->Comm1->ClosePort();
    SimOptions options;
    options.drives = {1};
    options.faults = faults;
    if (!rig_.StartSimulator(options))
      return;
    Configure(false);
    rig_.sim->ClearReceivedFrames();
  }

  // A fresh list: every row empty and unselected, Function mode, Read, one pass.
  void ClearGrid() {
    Form1->StringGrid1->setRowCount(Rows);
    for (int row = 1; row < Rows; ++row)
      for (int column = 0; column < 6; ++column)
        Form1->SetGridText(row, column, row == 0 ? "" : (column == 0 ? "No" : ""));
    Form1->UMODE->SetItemIndex(0);
    Form1->UMODEClick();
    Form1->RadioGroup1->SetItemIndex(0);
    Form1->URepeatTimes->setText("1");
    Form1->UAddChecksum->setChecked(true);
    Form1->UErrorCheck->setChecked(false);
    Form1->UTimeoutCheck->setChecked(false);
  }

  // The request texts the simulator saw, without ":", LRC and CR LF.
  std::vector<std::string> Bodies() const {
    std::vector<std::string> bodies;
    for (const std::string &frame : rig_.sim->ReceivedFrames())
      bodies.push_back(frame.size() >= 5 ? frame.substr(1, frame.size() - 5) : frame);
    return bodies;
  }

  bool ReplyInBuffer() const {
    const std::string &buffer = Form1->State.ReceiveBuffer;
    return buffer.size() >= 2 && buffer.compare(buffer.size() - 2, 2, "\r\n") == 0;
  }

  // One tick with nothing awaited: with a pause of 0 ms every such tick is a
  // due step. A request it sends is followed to its end: the reply (when one
  // is expected) is let in, then the reply window is ticked through.
  void DueStep(bool expectReply = true) {
    QVERIFY(!Form1->State.WaitingReply);
    // after a time-out the line must first stay quiet for one reply window
    for (int ticks = 0; ticks < 1000 && Form1->State.QuietWindowPending; ++ticks)
      Form1->UpcSendTimer();
    Form1->UpcSendTimer();
    if (!Form1->State.WaitingReply)
      return;
    if (expectReply)
      QTRY_VERIFY_WITH_TIMEOUT(ReplyInBuffer(), 10000);
    else
      QTest::qWait(50);
    for (int ticks = 0; ticks < 100 && (Form1->State.WaitingReply || !Form1->State.ReceiveBuffer.empty());
         ++ticks) {
      QTest::qWait(1);
      Form1->UpcSendTimer();
    }
    QVERIFY(!Form1->State.WaitingReply);
  }

  void Run() {
    Form1->PageControl1->setCurrentIndex(2);
    Form1->UdefRunClick();
  }

private slots:
  void initTestCase() {
    if (!rig_.UseProgramFolder())
      return;
    QVERIFY(QDir().mkpath(AppPaths::DataFolder() + "ports"));
    CreateApplicationWindows();
    QVERIFY(ProtocolSet);
    Form1->UpcSend->stop();
    Form1->TimeoutMs = 0;
    Form1->TimeIntervalMs = 0;
    Form1->MachineID->setCurrentText("1");
    Form1->DriveSeries->setCurrentIndex(0);
    LoadDecimalSeparator();
  }

  void cleanupTestCase() { rig_.TearDown(); }

  void registersAndRequests() {
    QCOMPARE(FunctionRegister("F105"), std::optional<std::string>("0105"));
    QCOMPARE(FunctionRegister("230"), std::optional<std::string>("021E"));
    QCOMPARE(FunctionRegister("A01"), std::optional<std::string>("0A01"));
    QCOMPARE(FunctionRegister("FA01"), std::optional<std::string>("0A01"));
    QCOMPARE(FunctionRegister("P05"), std::optional<std::string>("1105"));
    QCOMPARE(FunctionRegister("P12"), std::optional<std::string>("110C"));
    QCOMPARE(FunctionRegister("F1X5"), std::nullopt); // last two not digits
    QCOMPARE(FunctionRegister("G05"), std::nullopt);  // group not a hex digit
    QCOMPARE(FunctionRegister("5"), std::nullopt);

    using Outcome = FunctionRequest::Outcome;
    FunctionRequest r = BuildFunctionModeRequest("01", "F105", false, "9.99", 2, ".");
    QCOMPARE(r.outcome, Outcome::Send);
    QCOMPARE(r.body, std::string("010301050001"));
    QVERIFY(!r.dataCell); // a read leaves the Data cell alone

    r = BuildFunctionModeRequest("01", "F105", true, "1.5", 2, ".");
    QCOMPARE(r.body, std::string("010601050096"));
    QCOMPARE(r.dataCell, std::optional<std::string>("1.50"));
    r = BuildFunctionModeRequest("01", "F105", true, "1.567", 2, ".");
    QCOMPARE(r.dataCell, std::optional<std::string>("1.56")); // cut, not rounded
    QCOMPARE(r.body, std::string("01060105009C"));
    r = BuildFunctionModeRequest("0A", "F101", true, "12.7", 0, ".");
    QCOMPARE(r.dataCell, std::optional<std::string>("12"));
    QCOMPARE(r.body, std::string("0A060101000C"));
    r = BuildFunctionModeRequest("01", "F114", true, "3,25", 1, ",");
    QCOMPARE(r.dataCell, std::optional<std::string>("3,2"));
    QCOMPARE(r.body, std::string("0106010E0020"));
    r = BuildFunctionModeRequest("01", "P05", true, "7", 0, ".");
    QCOMPARE(r.body, std::string("010611050007"));
    r = BuildFunctionModeRequest("01", "F105", true, "655.35", 2, ".");
    QCOMPARE(r.body, std::string("01060105FFFF"));

    r = BuildFunctionModeRequest("01", "F105", true, "", 2, ".");
    QCOMPARE(r.outcome, Outcome::Nothing);
    for (const char *data : {"655.36", "1.2.3", "abc", "-1"}) {
      r = BuildFunctionModeRequest("01", "F105", true, data, 2, ".");
      QVERIFY2(r.outcome == Outcome::Refused && !r.message.empty() && r.body.empty(), data);
    }
    r = BuildFunctionModeRequest("01", "F1X5", false, "", 2, ".");
    QCOMPARE(r.outcome, Outcome::Refused);
  }

  void replyTexts() {
    const auto read = Bytes({0x01, 0x03, 0x02, 0x04, 0xD2, 0x24});
    QCOMPARE(SequenceReplyText(read.data(), read.size(), "010301050001", "raw", TwoDecimalsAt0105, "."),
             std::string("12.34"));
    QCOMPARE(SequenceReplyText(read.data(), read.size(), "010301050001", "raw", TwoDecimalsAt0105, ","),
             std::string("12,34"));
    QCOMPARE(SequenceReplyText(read.data(), read.size(), "010301060001", "raw", TwoDecimalsAt0105, "."),
             std::string("1234"));
    const auto echo = Bytes({0x01, 0x06, 0x01, 0x05, 0x04, 0xB0, 0x3F});
    QCOMPARE(SequenceReplyText(echo.data(), echo.size(), "0106010504B0", "raw", TwoDecimalsAt0105, "."),
             std::string("12.00"));
    const auto multiple = Bytes({0x01, 0x10, 0x01, 0x05, 0x00, 0x02, 0xE7});
    QCOMPARE(SequenceReplyText(multiple.data(), multiple.size(), "0110010500020400010002", ":0110...",
                               TwoDecimalsAt0105, "."),
             std::string(":0110..."));
    QCOMPARE(SequenceReplyText(read.data(), 4, "010301050001", "short", TwoDecimalsAt0105, "."),
             std::string("short"));
    // a typed command whose register is not hex text: no decimals
    QCOMPARE(SequenceReplyText(read.data(), read.size(), "0103", "raw", TwoDecimalsAt0105, "."),
             std::string("1234"));
  }

  void searchOverTheList() {
    const auto rows13 = [](int row) { return row == 1 || row == 3; };
    SequencePosition p{1, 0};
    QVERIFY(FindNextSelectedRow(p, 6, 1, rows13));
    QCOMPARE(p.row, 1);
    p.row = 2;
    QVERIFY(FindNextSelectedRow(p, 6, 1, rows13));
    QCOMPARE(p.row, 3);
    p.row = 4;
    QVERIFY(!FindNextSelectedRow(p, 6, 1, rows13)); // the pass completes without a request
    QCOMPARE(p.row, 1);
    QCOMPARE(p.round, 1);
    p = {4, 0};
    QVERIFY(FindNextSelectedRow(p, 6, 2, rows13)); // a second pass starts over
    QCOMPARE(p.row, 1);
    QCOMPARE(p.round, 1);
    p = {4, 5};
    QVERIFY(!FindNextSelectedRow(p, 6, 0, rows13)); // without end: every wrap ends the step
    QCOMPARE(p.round, 6);
    QVERIFY(FindNextSelectedRow(p, 6, 0, rows13));
    QCOMPARE(p.row, 1);

    const auto none = [](int) { return false; };
    p = {1, 0};
    QVERIFY(!FindNextSelectedRow(p, 6, 2000000000, none)); // no endless search
    QCOMPARE(p.round, 2000000000);
    p = {1, 7};
    QVERIFY(!FindNextSelectedRow(p, 6, 0, none));
    QCOMPARE(p.round, 8);
    p = {1, 0};
    QVERIFY(!FindNextSelectedRow(p, 1, 3, rows13)); // only the title row

    QCOMPARE(ParseRepeatTimes("0"), std::optional<int>(0));
    QCOMPARE(ParseRepeatTimes("12"), std::optional<int>(12));
    QCOMPARE(ParseRepeatTimes(""), std::nullopt);
    QCOMPARE(ParseRepeatTimes("1a"), std::nullopt);
    QCOMPARE(ParseRepeatTimes("-1"), std::nullopt);
    QCOMPARE(ParseRepeatTimes("99999999999"), std::nullopt);
  }

  // Rows 1 and 3 selected: the order of the requests, the passes, the end of
  // the run, and the replies in the rows they answer.
  void runsSelectedRowsInOrder() {
    Connect();
    ClearGrid();
    DialogRecorder dialogs;
    QVERIFY(rig_.sim->SetParameter(1, 0x0105, 1234));
    Form1->SetGridText(1, 0, "Yes");
    Form1->SetGridText(1, 1, "F105");
    Form1->SetGridText(2, 1, "F106"); // not selected
    Form1->SetGridText(3, 0, "Yes");
    Form1->SetGridText(3, 1, "F113");
    Form1->SetGridText(3, 4, "old reply");
    Run();
    QVERIFY(Form1->State.SequenceRunning);
    for (QWidget *w : std::initializer_list<QWidget *>{Form1->URepeatTimes, Form1->UErrorCheck,
                                                       Form1->UTimeoutCheck, Form1->UAddChecksum,
                                                       Form1->UProtocol, Form1->UdefRun, Form1->StringGrid1})
      QVERIFY(!w->isEnabled());
    QVERIFY(Form1->Ustradd->isEnabled() && Form1->UMODE->isEnabled() && Form1->SelectAll->isEnabled());

    DueStep();
    QCOMPARE(Bodies(), std::vector<std::string>{"010301050001"});
    QCOMPARE(Form1->GridText(1, 4), QString("12.34"));
    QCOMPARE(Form1->StringGrid1->currentRow(), 1); // the selection follows the run
    QCOMPARE(Form1->StringGrid1->currentColumn(), 1);
    QCOMPARE(Form1->GridText(1, 0), QString("Yes")); // following the run toggles nothing
    DueStep();
    QCOMPARE(Bodies(), (std::vector<std::string>{"010301050001", "0103010D0001"}));
    QCOMPARE(Form1->GridText(3, 4), QString("50.00")); // F113 as delivered
    DueStep();                                         // completes the pass
    QCOMPARE(Bodies().size(), std::size_t(2));
    QVERIFY(Form1->State.SequenceRunning);
    DueStep(); // ends the run
    QVERIFY(!Form1->State.SequenceRunning);
    QCOMPARE(Form1->Sequence->NextRow(), 0);
    QVERIFY(Form1->StringGrid1->isEnabled() && Form1->UdefRun->isEnabled() && Form1->UProtocol->isEnabled());
    DueStep();
    QCOMPARE(Bodies().size(), std::size_t(2));
    QCOMPARE(Form1->GridText(2, 4), QString());

    // two passes: 1, 3, 1, 3, then the end the same way
    rig_.sim->ClearReceivedFrames();
    Form1->URepeatTimes->setText("2");
    Run();
    for (int i = 0; i < 6; ++i)
      DueStep();
    QCOMPARE(Bodies(),
             (std::vector<std::string>{"010301050001", "0103010D0001", "010301050001", "0103010D0001"}));
    QVERIFY(!Form1->State.SequenceRunning);

    // the last row of the grid answers into the last row
    rig_.sim->ClearReceivedFrames();
    ClearGrid();
    Form1->SetGridText(Rows - 1, 0, "Yes");
    Form1->SetGridText(Rows - 1, 1, "F105");
    Run();
    DueStep();
    QCOMPARE(Form1->GridText(Rows - 1, 4), QString("12.34"));
    QCOMPARE(Form1->GridText(0, 4), QString("Reply"));
    Form1->UdefStopClick();
    QVERIFY(!Form1->State.SequenceRunning);
    QVERIFY(dialogs.Texts().isEmpty());
  }

  void emptySelectionEndsQuietly() {
    Connect();
    ClearGrid();
    DialogRecorder dialogs;
    Form1->URepeatTimes->setText("3");
    Run();
    DueStep();
    QVERIFY(Form1->State.SequenceRunning);
    DueStep();
    QVERIFY(!Form1->State.SequenceRunning);
    QVERIFY(rig_.sim->ReceivedFrames().empty());
    QVERIFY(dialogs.Texts().isEmpty());

    Form1->URepeatTimes->setText("0"); // idles until STOP
    Run();
    for (int i = 0; i < 5; ++i)
      DueStep();
    QVERIFY(Form1->State.SequenceRunning);
    Form1->UdefStopClick();
    QVERIFY(!Form1->State.SequenceRunning);
    QVERIFY(rig_.sim->ReceivedFrames().empty());
  }

  // Writes in Function mode: the Data cell brought to the code's decimals,
  // the value on the line, refusals that stop the run before anything goes out.
  void functionModeWrites() {
    Connect();
    ClearGrid();
    DialogRecorder dialogs;
    Form1->RadioGroup1->SetItemIndex(1);
    Form1->SetGridText(1, 0, "Yes");
    Form1->SetGridText(1, 1, "F105");
    Form1->SetGridText(1, 2, "1.5");
    Form1->SetGridText(2, 0, "Yes");
    Form1->SetGridText(2, 1, "F105"); // no data: passed over
    Form1->SetGridText(3, 0, "Yes");
    Form1->SetGridText(3, 1, "F105");
    Form1->SetGridText(3, 2, "1.567");
    Run();
    DueStep();
    QCOMPARE(Form1->GridText(1, 2), QString("1.50"));
    QCOMPARE(Bodies(), std::vector<std::string>{"010601050096"});
    QCOMPARE(rig_.sim->Parameter(1, 0x0105), std::optional<std::uint16_t>(150));
    QCOMPARE(Form1->GridText(1, 4), QString("1.50"));
    DueStep(false);
    QCOMPARE(Bodies().size(), std::size_t(1));
    QVERIFY(Form1->State.SequenceRunning);
    DueStep();
    QCOMPARE(Form1->GridText(3, 2), QString("1.56"));
    QCOMPARE(Bodies().back(), std::string("01060105009C"));
    Form1->UdefStopClick();
    QVERIFY(dialogs.Texts().isEmpty());

    const struct {
      const char *function;
      const char *data;
    } refused[] = {{"F105", "abc"}, {"F105", "700.00"}, {"F1X5", "1"}};
    for (const auto &row : refused) {
      rig_.sim->ClearReceivedFrames();
      dialogs.Clear();
      Form1->SetGridText(1, 1, row.function);
      Form1->SetGridText(1, 2, row.data);
      Run();
      DueStep(false);
      QVERIFY2(!Form1->State.SequenceRunning, row.data);
      QVERIFY(rig_.sim->ReceivedFrames().empty());
      QCOMPARE(dialogs.Texts().size(), 1);
      QVERIFY(dialogs.LastText().contains("Please check!"));
      QCOMPARE(Form1->GridText(1, 2), QString(row.data)); // the user's text stays for correcting
    }

    // Empty command cell and a character above 128
    ClearGrid();
    Form1->SetGridText(2, 0, "Yes");
    dialogs.Clear();
    Run();
    DueStep(false);
    QVERIFY(!Form1->State.SequenceRunning);
    QCOMPARE(dialogs.Texts(), QStringList{"Selected checkbox is empty! Please input data!"});
    QCOMPARE(Form1->StringGrid1->currentRow(), 2);
    QCOMPARE(Form1->StringGrid1->currentColumn(), 1);
    Form1->SetGridText(2, 1, "F1é5");
    dialogs.Clear();
    Run();
    DueStep(false);
    QVERIFY(!Form1->State.SequenceRunning);
    QCOMPARE(dialogs.Texts(), QStringList{"Invalid input! Please check!"});

    // a Repeat Times that is no number
    Form1->SetGridText(2, 1, "F105");
    Form1->URepeatTimes->setText("");
    dialogs.Clear();
    Run();
    DueStep(false);
    QVERIFY(!Form1->State.SequenceRunning);
    QCOMPARE(dialogs.Texts().size(), 1);
    QVERIFY(rig_.sim->ReceivedFrames().empty());
  }

  // STOP while a reply is awaited: the reply still lands in the grid and the
  // run ends at the first tick after it was handled.
  void stopWhileAwaitingReply() {
    Connect();
    ClearGrid();
    QVERIFY(rig_.sim->SetParameter(1, 0x0105, 1234));
    Form1->SetGridText(1, 0, "Yes");
    Form1->SetGridText(1, 1, "F105");
    Form1->URepeatTimes->setText("0");
    Run();
    Form1->UpcSendTimer();
    QVERIFY(Form1->State.WaitingReply);
    Form1->UdefStopClick();
    QVERIFY(Form1->State.StopRequested);
    QVERIFY(Form1->State.SequenceRunning);
    QVERIFY(!Form1->UdefRun->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(ReplyInBuffer(), 10000);
    while (Form1->State.WaitingReply)
      Form1->UpcSendTimer();
    QCOMPARE(Form1->GridText(1, 4), QString("12.34"));
    QVERIFY(Form1->State.SequenceRunning);
    Form1->UpcSendTimer();
    QVERIFY(!Form1->State.SequenceRunning);
    QVERIFY(!Form1->State.StopRequested);
    QVERIFY(Form1->UdefRun->isEnabled());
    QCOMPARE(Bodies().size(), std::size_t(1));
  }

  // "Time Out" and "Error Occur" end the run; cleared, the run goes on.
  void terminationConditions() {
    LineFaults drop;
    drop.dropProbability = 1;
    Connect(drop);
    ClearGrid();
    Form1->SetGridText(1, 0, "Yes");
    Form1->SetGridText(1, 1, "F105");
    Form1->SetGridText(1, 4, "before");
    Form1->SetGridText(2, 0, "Yes");
    Form1->SetGridText(2, 1, "F113");
    Form1->URepeatTimes->setText("0");
    Run();
    DueStep(false);
    QVERIFY(Form1->State.SequenceRunning); // "Time Out" cleared: the next row follows
    DueStep(false);
    QCOMPARE(Bodies(), (std::vector<std::string>{"010301050001", "0103010D0001"}));
    QCOMPARE(Form1->GridText(1, 4), QString("No response!")); // the row says what happened
    Form1->SetGridText(1, 4, "before");
    Form1->UTimeoutCheck->setChecked(true);
    DueStep(false); // without end: the wrap takes a step of its own
    QVERIFY(Form1->State.SequenceRunning);
    DueStep(false);
    QVERIFY(!Form1->State.SequenceRunning);
    QCOMPARE(Bodies().size(), std::size_t(3));
    QCOMPARE(Form1->GridText(1, 4), QString("No response!"));

    LineFaults corrupt;
    corrupt.corruptProbability = 1;
    Connect(corrupt);
    ClearGrid();
    Form1->SetGridText(1, 0, "Yes");
    Form1->SetGridText(1, 1, "F105");
    Form1->SetGridText(2, 0, "Yes");
    Form1->SetGridText(2, 1, "F113");
    Form1->URepeatTimes->setText("0");
    Run();
    DueStep();
    QVERIFY(Form1->State.SequenceRunning);
    QVERIFY2(Form1->GridText(1, 4).startsWith(":0103"), qPrintable(Form1->GridText(1, 4)));
    QCOMPARE(Form1->GridText(2, 4), QString());
    Form1->UErrorCheck->setChecked(true);
    DueStep();
    QVERIFY(!Form1->State.SequenceRunning);
    QVERIFY2(Form1->GridText(2, 4).startsWith(":0103"), qPrintable(Form1->GridText(2, 4)));
    QCOMPARE(Bodies().size(), std::size_t(2));
  }

  // Another tab pauses the run; coming back continues with the next row.
  void otherTabPauses() {
    Connect();
    ClearGrid();
    for (int row = 1; row <= 3; ++row) {
      Form1->SetGridText(row, 0, "Yes");
      Form1->SetGridText(row, 1, QString("F10%1").arg(row + 4));
    }
    Run();
    DueStep();
    Form1->PageControl1->setCurrentIndex(0);
    for (int i = 0; i < 5; ++i)
      DueStep();
    QCOMPARE(Bodies().size(), std::size_t(1));
    QVERIFY(Form1->State.SequenceRunning);
    QVERIFY(!Form1->UdefRun->isEnabled());
    Form1->PageControl1->setCurrentIndex(2);
    DueStep();
    QCOMPARE(Bodies(), (std::vector<std::string>{"010301050001", "010301060001"}));
    Form1->UdefStopClick();
  }

  // The list itself: check marks by click and by arrow keys, which cells
  // may be edited in which mode, the key filter, SelectAll and the row buttons.
  void editingTheList() {
    ClearGrid();
    QTableWidget *grid = Form1->StringGrid1;
    grid->setEnabled(true);
    DialogRecorder dialogs;
    Form1->Activated = true; // the settings of the first activation are not part of this test
    Form1->show();
    Form1->PageControl1->setCurrentIndex(2);
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    const auto click = [grid](int row, int column) {
      grid->scrollToItem(grid->item(row, column));
      QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                        grid->visualItemRect(grid->item(row, column)).center());
    };

    Form1->SetGridText(1, 0, "Yes");
    Form1->SetGridText(2, 0, "x");
    click(1, 0);
    QCOMPARE(Form1->GridText(1, 0), QString("No"));
    click(1, 0); // the cell already selected toggles again
    QCOMPARE(Form1->GridText(1, 0), QString("Yes"));
    QVERIFY(!Form1->StringGrid1Editing);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(grid->currentRow(), 2);
    QCOMPARE(Form1->GridText(2, 0), QString("Yes")); // "x" counts as not selected

    // Function mode, Read: Data cannot be edited; Write and selecting again allows it.
    click(3, 2);
    QVERIFY(!Form1->StringGrid1Editing);
    Form1->RadioGroup1->SetItemIndex(1);
    QVERIFY(!Form1->StringGrid1Editing);
    click(3, 2);
    QVERIFY(Form1->StringGrid1Editing);
    for (int column : {3, 4}) {
      click(3, column);
      QVERIFY(!Form1->StringGrid1Editing);
    }
    click(3, 1);
    QVERIFY(Form1->StringGrid1Editing);
    // Command mode
    Form1->UMODE->SetItemIndex(1);
    Form1->UMODEClick();
    QVERIFY(!Form1->RadioGroup1->isEnabled());
    for (int column : {1, 2}) {
      click(3, column);
      QVERIFY(!Form1->StringGrid1Editing);
    }
    for (int column : {3, 4, 5}) {
      click(3, column);
      QVERIFY(Form1->StringGrid1Editing);
    }
    Form1->UMODE->SetItemIndex(0);
    Form1->UMODEClick();
    QVERIFY(Form1->RadioGroup1->isEnabled());

    // Typing: only hex digits, backspace and the decimal separator outside Note.
    click(4, 1);
    QTest::keyClicks(grid, "g");
    QVERIFY(!grid->isPersistentEditorOpen(grid->currentIndex()) && Form1->GridText(4, 1).isEmpty());
    const auto typeInto = [grid](int row, int column, const char *keys) {
      grid->editItem(grid->item(row, column));
      auto *editor = grid->viewport()->findChild<QLineEdit *>();
      QVERIFY(editor);
      QTest::keyClicks(editor, keys);
      QTest::keyClick(editor, Qt::Key_Return);
    };
    typeInto(4, 1, "Fa-g105");
    QTRY_COMPARE(Form1->GridText(4, 1), QString("F105")); // the editor commits on its next turn
    click(4, 5);
    typeInto(4, 5, "a-g");
    QTRY_COMPARE(Form1->GridText(4, 5), QString("a-g"));
    QVERIFY(Form1->StringGrid1KeyPress(2, QChar::fromLatin1(LocaleDecimalSeparator[0])));
    QVERIFY(Form1->StringGrid1KeyPress(3, QChar(8)));
    QVERIFY(!Form1->StringGrid1KeyPress(3, QChar('a')));

    // SelectAll leaves texts other than "Yes", "No" and empty alone.
    ClearGrid();
    Form1->SetGridText(1, 0, "");
    Form1->SetGridText(2, 0, "x");
    Form1->SelectAll->setChecked(true);
    Form1->SelectAllClick();
    QCOMPARE(Form1->GridText(1, 0), QString("Yes"));
    QCOMPARE(Form1->GridText(2, 0), QString("x"));
    QCOMPARE(Form1->GridText(Rows - 1, 0), QString("Yes"));
    Form1->SelectAll->setChecked(false);
    Form1->SelectAllClick();
    QCOMPARE(Form1->GridText(1, 0), QString("No"));
    QCOMPARE(Form1->GridText(2, 0), QString("x"));

    // Insert below row 3, New at the end, Delete
    for (int row = 1; row < Rows; ++row)
      Form1->SetGridText(row, 5, QString("note %1").arg(row));
    Form1->SelectGridCell(3, 0);
    const QString mark3 = Form1->GridText(3, 0);
    Form1->ustrinsertClick();
    QCOMPARE(grid->rowCount(), Rows + 1);
    QCOMPARE(Form1->GridText(4, 0), QString("No"));
    QCOMPARE(Form1->GridText(4, 5), QString());
    QCOMPARE(Form1->GridText(5, 5), QString("note 4"));
    QCOMPARE(grid->currentRow(), 3);
    QCOMPARE(Form1->GridText(3, 0), mark3); // staying selected toggles nothing
    Form1->UstraddClick();
    QCOMPARE(grid->rowCount(), Rows + 2);
    QCOMPARE(Form1->GridText(Rows + 1, 0), QString("No"));
    Form1->ustrdelClick();
    QCOMPARE(grid->rowCount(), Rows + 1);
    QCOMPARE(Form1->GridText(2, 5), QString("note 2"));
    QCOMPARE(Form1->GridText(3, 0), QString("No")); // the inserted row moved up into place
    QCOMPARE(Form1->GridText(4, 5), QString("note 4"));
    QCOMPARE(grid->currentRow(), 3);
    grid->setRowCount(2);
    Form1->SetGridText(1, 3, "010301050001");
    Form1->SelectGridCell(1, 3);
    Form1->ustrdelClick();
    QCOMPARE(grid->rowCount(), 2); // the single command row is emptied, not removed
    QCOMPARE(Form1->GridText(1, 3), QString());
    QCOMPARE(Form1->GridText(0, 3), QString("Command to Send"));
    Form1->hide();
    ClearGrid();
  }

  // "Add checksum into command" cleared: the body goes out bare, in both modes.
  void rawBodiesWithoutChecksum() {
    rig_.sim.reset();
    for (bool rtu : {false, true}) {
      Form1->Comm1->ClosePort();
      PseudoTerminal line;
      std::string error;
      QVERIFY2(line.Open(error), error.c_str());
      ::fcntl(line.MasterFd(), F_SETFL, ::fcntl(line.MasterFd(), F_GETFL) | O_NONBLOCK);
      if (!rig_.LinkPort(QString::fromStdString(line.SlavePath())))
        return;
      Configure(rtu);
      ClearGrid();
      Form1->MachineID->setCurrentText("0");
      // a broadcast: nothing awaited, only the line counts
      Form1->UMODE->SetItemIndex(1);
      Form1->SetGridText(1, 0, "Yes");
      Form1->SetGridText(1, 3, "000301050001");
      for (bool checksum : {false, true}) {
        Form1->UAddChecksum->setChecked(checksum);
        Run();
        Form1->UpcSendTimer();
        Form1->UdefStopClick();
        QByteArray expected = rtu ? QByteArray::fromHex("000301050001") : QByteArray("000301050001");
        if (checksum)
          expected = rtu ? QByteArray::fromHex("000301050001" +
                                               QByteArray::fromStdString(ComputeCRC16({0, 3, 1, 5, 0, 1}, 6)))
                         : QByteArray(":000301050001" +
                                      QByteArray::fromStdString(ComputeLRC("000301050001")) + "\r\n");
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
              char buffer[256];
              const ssize_t n = ::read(line.MasterFd(), buffer, sizeof buffer);
              if (n > 0)
                got.append(buffer, n);
              return got.size() >= expected.size();
            }(),
            10000);
        QTest::qWait(50);
        char buffer[256];
        for (ssize_t n; (n = ::read(line.MasterFd(), buffer, sizeof buffer)) > 0;)
          got.append(buffer, n);
        QCOMPARE(got.toHex(), expected.toHex());
      }
      Form1->Comm1->ClosePort();
    }
    Form1->MachineID->setCurrentText("1");
  }
};

VDD_TEST_MAIN(TestSequences)
#include "test_sequences.moc"
