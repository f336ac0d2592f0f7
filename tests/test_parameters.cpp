// The function table against the drive simulator over a real pseudo-terminal:
// the parameter window, read all, write all, the common-parameter panel, the
// grid and the import and export of tables.
#include "app/MainWindow.h"
#include "app/params/CurrentRowDelegate.h"
#include "app/params/TInputBox.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "params/Rm40Parameters.h"
#include "session/FunctionTable.h"
#include "settings/DataFolder.h"
#include "settings/TableModel.h"
#include "settings/TableStore.h"
#include "sim/DriveSimulator.h"
#include "support/DialogRecorder.h"
#include "support/FastLine.h"
#include "support/MenuClicks.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"
#include "tests/support/EngineStateAccess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <memory>

namespace {
constexpr int kRunMs = 300000; // whole runs; generous for a loaded machine
constexpr int kReplyMs = 30000;

struct Request {
  std::string function;
  int reg = 0;
  int value = 0;
  bool operator==(const Request &) const = default;
};

// The requests the simulator saw, ASCII frames ":AAFFRRRRVVVVLL\r\n".
std::vector<Request> Requests(const DriveSimulator &sim) {
  std::vector<Request> out;
  for (const std::string &frame : sim.ReceivedFrames())
    if (frame.size() >= 15)
      out.push_back({frame.substr(3, 2), std::stoi(frame.substr(5, 4), nullptr, 16),
                     std::stoi(frame.substr(9, 4), nullptr, 16)});
  return out;
}

// The same with a request repeated after a failed exchange counted once: a
// loaded machine may miss a reply window now and then.
std::vector<Request> Distinct(const DriveSimulator &sim) {
  std::vector<Request> out = Requests(sim);
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

int RegisterOf(const std::string &code) { return std::stoi(ParameterRegister(code.substr(1)), nullptr, 16); }

// The records the grid lists for the series, in CODE order.
std::vector<Rm40Parameter> Listed() {
  std::vector<Rm40Parameter> out;
  for (const Rm40Parameter &p : Rm40Parameters())
    if (p.name)
      out.push_back(p);
  std::sort(out.begin(), out.end(),
            [](const Rm40Parameter &a, const Rm40Parameter &b) { return std::string(a.code) < b.code; });
  return out;
}

bool IsReserved(const Rm40Parameter &p) { return std::string(p.name) == "Reserved"; }

QString Field(const QString &code, const char *field) {
  const int remembered = Form1->Functions->CurrentRecord();
  const int record = Form1->Functions->FindCode(code, -1);
  Form1->Functions->MoveTo(record);
  const QString text = record < 0 ? "<missing>" : Form1->Functions->Text(field);
  Form1->Functions->MoveTo(remembered);
  return text;
}

// Stands the grid on the record of `code`, in the given column.
void SelectCell(const QString &code, const QString &column) {
  const int record = Form1->Functions->FindCode(code, -1);
  QVERIFY(record >= 0);
  Form1->Functions->MoveTo(record);
  const QAbstractItemModel *model = Form1->DBGrid1->model();
  for (int c = 0; c < model->columnCount(); ++c)
    if (model->headerData(c, Qt::Horizontal).toString() == column)
      Form1->DBGrid1->setCurrentIndex(model->index(record, c));
  QCOMPARE(Form1->Functions->CurrentRecord(), record);
}

// The cell of `code` in the named column, as the grid shows it.
QModelIndex CellOf(const QString &code, const QString &column) {
  const QAbstractItemModel *model = Form1->DBGrid1->model();
  const int record = Form1->Functions->FindCode(code, -1);
  for (int c = 0; c < model->columnCount(); ++c)
    if (model->headerData(c, Qt::Horizontal).toString() == column)
      return model->index(record, c);
  return {};
}

// True when the whole row is inside the grid's visible area.
bool RowInView(int row) {
  const QTableView *grid = Form1->DBGrid1;
  const QRect cell = grid->visualRect(grid->model()->index(row, 0));
  return cell.isValid() && cell.top() >= 0 && cell.bottom() <= grid->viewport()->height();
}

void Wheel(int delta) {
  QWidget *viewport = Form1->DBGrid1->viewport();
  QWheelEvent event(QPointF(5, 5), viewport->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &event);
}

// Import Functions as a user goes through it: the dialog opens in database1,
// and once it lists the tables there `path` is typed. What it listed.
QStringList ImportThroughDialog(DialogRecorder &dialogs, const QString &path) {
  QStringList offered;
  dialogs.onFileDialog = [&](QFileDialog *dialog) {
    QTRY_VERIFY_WITH_TIMEOUT(DialogRecorder::ListedFiles(dialog).contains("RM40.DBF"), 20000);
    offered = DialogRecorder::ListedFiles(dialog);
    auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
    QVERIFY(name);
    QTest::keyClicks(name, path);
    QTest::keyClick(name, Qt::Key_Return);
  };
  Form1->ImportFunctions1->trigger();
  dialogs.onFileDialog = nullptr;
  return offered;
}

bool Idle() {
  const CommState &s = Form1->State;
  return !s.ReadAllActive && !s.WriteAllActive && !s.WaitingReply && !Form1->State.ReadPending &&
         !Form1->State.ModifyPending && s.ReceiveBuffer.empty();
}
} // namespace

class TestParameters : public QObject {
  Q_OBJECT

  SimulatedRig rig_;

  QString DataFolder() const { return AppPaths::DataFolder(); }

  // Gives every parameter the drive serves a distinct value.
  void SeedDriveValues() {
    int n = 0;
    for (const Rm40Parameter &p : Listed())
      if (!IsReserved(p))
        rig_.sim->SetParameter(1, static_cast<std::uint16_t>(RegisterOf(p.code)),
                               static_cast<std::uint16_t>(1 + (n++ * 37) % 3000));
  }

  void StartRun(QPushButton *button) {
    QVERIFY(Idle());
    rig_.sim->ClearReceivedFrames();
    button->click();
  }

  // Runs read all or write all with every reply dropped until three requests
  // went out, then answered until six did, and cancels it: what went out.
  void RunWithFirstRepliesDropped(QPushButton *button, std::vector<Request> &seen) {
    LineFaults drop;
    drop.dropProbability = 1.0;
    rig_.sim->SetLineFaults(drop);
    StartRun(button);
    QTRY_VERIFY_WITH_TIMEOUT(Requests(*rig_.sim).size() >= 3, kReplyMs);
    rig_.sim->SetLineFaults(LineFaults{});
    QTRY_VERIFY_WITH_TIMEOUT(Requests(*rig_.sim).size() >= 6, kReplyMs);
    button->click(); // cancel
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), kReplyMs);
    seen = Requests(*rig_.sim);
  }

private slots:
  void initTestCase() {
    if (!rig_.UseProgramFolder())
      return;
    QCOMPARE(EnsureDataFolder(DataFolder()), QString());

    SimOptions options;
    options.baud = 38400;
    if (!rig_.StartSimulator(options))
      return;

    CreateApplicationWindows();
    QVERIFY(InputBox != nullptr);
    Form1->show();
    Form1->activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Activated, 20000);
    UseFastLine(60);
    QCOMPARE(Form1->FunctionTableFile, QString("RM40.DBF"));
    QCOMPARE(Form1->Functions->RecordCount(), static_cast<int>(Listed().size()));
    QCOMPARE(Form1->State.TickMs, 20);
    QCOMPARE(Form1->MachineIDText(), QString("1"));
    Form1->PageControl1->setCurrentIndex(1);
  }

  void cleanupTestCase() {
    DestroyApplicationWindows();
    rig_.sim.reset();
  }

  void init() { Form1->CheckBox2->setChecked(false); }

  // Range prompt, refusals and the request texts of the parameter window.
  void parameterWindowChecksInput() {
    DialogRecorder dialogs;
    TInputBox *box = InputBox;

    SelectCell("F113", "NAME");
    Form1->DBGrid1CellClick(Form1->DBGrid1->currentIndex().column());
    QVERIFY(dialogs.requests.isEmpty()); // only the MODIFY column opens it

    SelectCell("F135", "MODIFY");
    Form1->DBGrid1CellClick(Form1->DBGrid1->currentIndex().column());
    QCOMPARE(dialogs.LastText(), QString("This parameter is not allowed to read or write!"));

    dialogs.Clear();
    SelectCell("F113", "MODIFY");
    Form1->DBGrid1CellClick(Form1->DBGrid1->currentIndex().column());
    QCOMPARE(dialogs.requests.size(), 1);
    QCOMPARE(dialogs.requests[0].kind, Dialogs::Kind::Modal);
    QCOMPARE(box->Label3->text(), QString("Please input data (0.00----400.00)"));
    QCOMPARE(Form1->CurrentCode, QString("113"));

    // Only digits and the separator get through the keys.
    box->UmodifyFunc->clear();
    QTest::keyClicks(box->UmodifyFunc, "4a5-.x5 ");
    QCOMPARE(box->UmodifyFunc->text(), QString("45.5"));

    box->UmodifyFunc->clear();
    QVERIFY(!box->Button1Click());
    QCOMPARE(box->InputboxHint->text(), QString("Hint: Please input data!"));

    box->UmodifyFunc->setText("400.01");
    QVERIFY(!box->Button1Click());
    QCOMPARE(box->InputboxHint->text(), QString("Input data out of range!   Valid range:0.00----400.00"));
    QVERIFY(!Form1->State.ModifyPending);

    // The limits themselves are allowed.
    box->UmodifyFunc->setText("400");
    QVERIFY(box->Button1Click());
    QCOMPARE(box->UmodifyFunc->text(), QString("400.00"));
    QCOMPARE(Form1->State.ModifyFrame, std::string("0106010D9C40"));
    box->UmodifyFunc->setText("0");
    QVERIFY(box->Button1Click());
    QCOMPARE(Form1->State.ModifyFrame, std::string("0106010D0000"));
    QCOMPARE(box->InputboxHint->text(), QString("Hint:"));
    EngineStateAccess::Of(*Form1->Engine).ModifyPending = false;

    box->Button4Click();
    QCOMPARE(Form1->State.ReadFrame, std::string("0103010D0001"));
    EngineStateAccess::Of(*Form1->Engine).ReadPending = false;

    // A parameter that may not be modified.
    SelectCell("F102", "MODIFY");
    Form1->DBGrid1CellClick(Form1->DBGrid1->currentIndex().column());
    QCOMPARE(box->Label3->text(), QString("Please input data (--------)"));
    box->UmodifyFunc->setText("5");
    dialogs.Clear();
    QVERIFY(!box->Button1Click());
    QCOMPARE(dialogs.LastText(), QString("This code is not allowed to modify!"));
    QVERIFY(!Form1->State.ModifyPending);
    box->Button3Click();
    QCOMPARE(box->UmodifyFunc->text(), QString());
  }

  // One read per listed, non-reserved record in CODE order; the values
  // land in NOWDATA and MODIFY with their decimals.
  void readAllStoresDriveValues() {
    DialogRecorder dialogs;
    SeedDriveValues();
    StartRun(Form1->ReadAll);
    QCOMPARE(Form1->ReadAll->text(), QString("Read all functions_cancel"));
    QVERIFY(!Form1->WriteAll->isEnabled());
    QVERIFY(!Form1->TabSheet1->isEnabled());
    // the run has ended once its box is shown, not when it is seen idle
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs.Texts().isEmpty() && Idle(), kRunMs);

    // the first line; what failed or came late on a loaded machine may follow
    QCOMPARE(dialogs.Texts().size(), 1);
    QCOMPARE(dialogs.Texts()[0].section('\n', 0, 0), QString("Have finished reading all codes!"));
    QCOMPARE(Form1->ReadAll->text(), QString("Read all functions_ok"));
    QVERIFY(Form1->WriteAll->isEnabled());
    QVERIFY(Form1->TabSheet1->isEnabled());

    std::vector<Request> expected;
    for (const Rm40Parameter &p : Listed())
      if (!IsReserved(p))
        expected.push_back({"03", RegisterOf(p.code), 1});
    QCOMPARE(Distinct(*rig_.sim), expected);

    for (const Rm40Parameter &p : Listed()) {
      if (IsReserved(p))
        continue;
      const auto raw = rig_.sim->Parameter(1, static_cast<std::uint16_t>(RegisterOf(p.code)));
      QVERIFY(raw.has_value());
      const QString text = QString::fromStdString(
          DecimalScaling::FormatRegisterValue(*raw, DecimalPlaces(std::string(p.code).substr(1)), "."));
      QCOMPARE(Field(p.code, "NOWDATA"), text);
      QCOMPARE(Field(p.code, "MODIFY"), text);
    }
    // The grid followed the run to the last record.
    QVERIFY(RowInView(Form1->Functions->CurrentRecord()));
    // The grid's own F113 on the parameter tab does not touch the panel.
    QCOMPARE(Form1->Edit9->text(), QString("40.00"));
  }

  // After read all the "Input Box" opened from the frequency box names F113
  // and shows no other parameter's value; the box's value is marked as the
  // stored one until F113 is read from the drive.
  void inputBoxAfterReadAll() {
    DialogRecorder dialogs;
    QVERIFY(!InputBox->UreadFunc->text().isEmpty()); // the last value read all read
    ClickTab(Form1->PageControl1, 0);
    QVERIFY2(Form1->Edit9->toolTip().contains("not read from the drive"),
             qPrintable(Form1->Edit9->toolTip()));
    QVERIFY(Form1->Edit9->font().italic());
    QString shownName, shownValue, readValue;
    dialogs.onModal = [&](QDialog *) {
      shownName = InputBox->ParameterName->text();
      shownValue = InputBox->UreadFunc->text();
      QTest::mouseClick(InputBox->Button4, Qt::LeftButton); // "read"
      QTRY_VERIFY_WITH_TIMEOUT(Idle() && !InputBox->UreadFunc->text().isEmpty(), kReplyMs);
      readValue = InputBox->UreadFunc->text();
      QTest::mouseClick(InputBox->Button3, Qt::LeftButton); // "Close"
    };
    QTest::mouseClick(Form1->Edit9, Qt::LeftButton);
    QVERIFY2(shownName.startsWith("F113"), qPrintable(shownName));
    QCOMPARE(shownValue, QString());
    QCOMPARE(readValue, Field("F113", "NOWDATA"));
    QCOMPARE(Form1->Edit9->text(), readValue);
    QVERIFY(Form1->Edit9->toolTip().contains("read from the drive"));
    QVERIFY(!Form1->Edit9->font().italic());
    ClickTab(Form1->PageControl1, 1);
  }

  // With "Continue when communication errors happen" clear, a record whose
  // reply was lost is asked again; with it checked the run moves on.
  void failedRecordsAreAskedAgain() {
    DialogRecorder dialogs;
    std::vector<Request> seen;
    RunWithFirstRepliesDropped(Form1->ReadAll, seen);
    if (QTest::currentTestFailed())
      return;
    LineFaults drop;
    drop.dropProbability = 1.0;
    const std::vector<Rm40Parameter> listed = Listed();
    // The first record stays the one asked until a reply comes.
    QCOMPARE(seen[0].reg, RegisterOf(listed[0].code));
    QCOMPARE(seen[1].reg, seen[0].reg);
    QCOMPARE(seen[2].reg, seen[0].reg);
    // Afterwards the records follow in order, each once.
    auto firstOther =
        std::find_if(seen.begin(), seen.end(), [&](const Request &r) { return r.reg != seen[0].reg; });
    QVERIFY(firstOther != seen.end());
    QCOMPARE(firstOther->reg, RegisterOf(listed[1].code));

    Form1->CheckBox2->setChecked(true);
    rig_.sim->SetLineFaults(drop);
    StartRun(Form1->ReadAll);
    QTRY_VERIFY_WITH_TIMEOUT(Requests(*rig_.sim).size() >= 3, kReplyMs);
    Form1->ReadAll->click();
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), kReplyMs);
    rig_.sim->SetLineFaults(LineFaults{});
    seen = Requests(*rig_.sim);
    for (int i = 0; i < 3; ++i)
      QCOMPARE(seen[i].reg, RegisterOf(listed[i].code));
    QVERIFY(dialogs.Texts().isEmpty());
  }

  // Handled as soon as they are complete, the replies of read all are kept
  // and written in batches: every value still lands in its own record.
  void readAllAtLineRateStoresEveryValue() {
    DialogRecorder dialogs;
    int n = 0;
    for (const Rm40Parameter &p : Listed())
      if (!IsReserved(p))
        rig_.sim->SetParameter(1, static_cast<std::uint16_t>(RegisterOf(p.code)),
                               static_cast<std::uint16_t>(7 + (n++ * 53) % 2900));
    ProtocolSet->CompleteOnReply->setChecked(true);
    Form1->ApplyPortSettings();
    StartRun(Form1->ReadAll);
    // the run has ended once its box is shown, not when it is seen idle
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs.Texts().isEmpty() && Idle(), kRunMs);
    ProtocolSet->CompleteOnReply->setChecked(false);
    Form1->ApplyPortSettings();
    // the first line; what failed or came late on a loaded machine may follow
    QCOMPARE(dialogs.Texts().size(), 1);
    QCOMPARE(dialogs.Texts()[0].section('\n', 0, 0), QString("Have finished reading all codes!"));
    Form1->Functions->Reopen(0); // what the file holds
    for (const Rm40Parameter &p : Listed()) {
      if (IsReserved(p))
        continue;
      const auto raw = rig_.sim->Parameter(1, static_cast<std::uint16_t>(RegisterOf(p.code)));
      const QString text = QString::fromStdString(
          DecimalScaling::FormatRegisterValue(*raw, DecimalPlaces(std::string(p.code).substr(1)), "."));
      QCOMPARE(Field(p.code, "NOWDATA"), text);
    }
  }

  // While read all runs, the line beside the buttons counts the records
  // and the grid keeps the current one in view; a second click stops the
  // run between two steps and the table stays whole.
  void readAllProgressAndStop() {
    DialogRecorder dialogs;
    const int total = static_cast<int>(Listed().size());
    const QRegularExpression running(
        QString(R"(^Read (\d+) of %1 records, \d+:\d\d elapsed, about \d+:\d\d left$)").arg(total));
    QVERIFY(Idle());
    const QPoint buttonAt = Form1->ReadAll->mapTo(Form1, QPoint(0, 0));
    QTest::mouseClick(Form1->ReadAll, Qt::LeftButton);
    QCOMPARE(Form1->ReadWriteProgress->text(), QString("Read 0 of %1 records, 0:00 elapsed").arg(total));
    QTRY_VERIFY_WITH_TIMEOUT(running.match(Form1->ReadWriteProgress->text()).captured(1).toInt() >= 40,
                             kRunMs);
    // the longer text leaves the button where the user aims to stop the run
    QCOMPARE(Form1->ReadAll->mapTo(Form1, QPoint(0, 0)), buttonAt);
    // at line rate the grid follows a few times a second
    const auto currentInView = [] {
      const QModelIndex current = Form1->DBGrid1->model()->index(Form1->Functions->CurrentRecord(), 0);
      return Form1->DBGrid1->viewport()->rect().contains(Form1->DBGrid1->visualRect(current).center());
    };
    QTRY_VERIFY(currentInView());

    QTest::mouseClick(Form1->ReadAll, Qt::LeftButton); // stop
    QVERIFY(!Form1->State.ReadAllActive);
    const QRegularExpressionMatch stopped =
        QRegularExpression(QString(R"(^Stopped after (\d+) of %1 records, \d+:\d\d$)").arg(total))
            .match(Form1->ReadWriteProgress->text());
    QVERIFY2(stopped.hasMatch(), qPrintable(Form1->ReadWriteProgress->text()));
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), kReplyMs);
    QTRY_VERIFY(currentInView());
    QCOMPARE(Form1->Functions->RecordCount(), total); // the stored table reads whole
    QVERIFY(dialogs.Texts().isEmpty());
  }

  // A register that answers FFFF ends read all with the fault warning.
  void faultValueEndsReadAll() {
    DialogRecorder dialogs;
    const std::vector<Rm40Parameter> listed = Listed();
    const auto reg = static_cast<std::uint16_t>(RegisterOf(listed[3].code));
    const auto before = rig_.sim->Parameter(1, reg);
    rig_.sim->SetParameter(1, reg, 0xFFFF);
    // A red COM ERROR lamp at the start makes the first record be read twice.
    Form1->UcomShape->SetBrushColor(LampColor::Red);
    StartRun(Form1->ReadAll);
    // the run has ended once its box is shown, not when it is seen idle
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs.Texts().isEmpty() && Idle(), kRunMs);
    rig_.sim->SetParameter(1, reg, *before);
    QCOMPARE(dialogs.Texts(), QStringList{"Warning! Inverter is in fault status!"});
    std::vector<Request> expected;
    for (int i = 0; i < 4; ++i)
      expected.push_back({"03", RegisterOf(listed[i].code), 1});
    QCOMPARE(Distinct(*rig_.sim), expected);
    QCOMPARE(Requests(*rig_.sim).at(1), expected[0]);
    QCOMPARE(Form1->ReadAll->text(), QString("Read all functions_ok"));
    QCOMPARE(InputBox->InputboxHint->text(), QString("Hint: This parameter is not allowed to read!"));
  }

  // Write all sends every writeable record's NOWDATA, stops at an empty one,
  // and marks what the drive confirmed in MODIFY.
  void writeAllWritesStoredValues() {
    DialogRecorder dialogs;
    // Values inside every range that differ from what the drive holds: MIN.
    std::vector<Rm40Parameter> writeable;
    for (const Rm40Parameter &p : Listed())
      if (p.writeable)
        writeable.push_back(p);
    QVERIFY(writeable.size() > 20);
    for (const Rm40Parameter &p : Listed()) {
      Form1->Functions->MoveTo(Form1->Functions->FindCode(p.code, -1));
      Form1->Functions->StoreValues(p.writeable ? QString(p.min) : QString(), QString());
    }
    // An empty value part way.
    const Rm40Parameter &gap = writeable[12];
    Form1->Functions->MoveTo(Form1->Functions->FindCode(gap.code, -1));
    Form1->Functions->StoreValues(QString(), QString());

    StartRun(Form1->WriteAll);
    // the run has ended once its box is shown, not when it is seen idle
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs.Texts().isEmpty() && Idle(), kRunMs);
    QCOMPARE(dialogs.Texts(), QStringList{"Some functions value are empty!"});
    std::vector<Request> expected;
    for (std::size_t i = 0; i < 12; ++i) {
      const std::string value = writeable[i].min;
      const int d = DecimalPlaces(std::string(writeable[i].code).substr(1));
      expected.push_back(
          {"06", RegisterOf(writeable[i].code),
           *DecimalScaling::ToRegisterValue(DecimalScaling::NormalizeDecimals(value, d, "."), d, ".")});
    }
    QCOMPARE(Distinct(*rig_.sim), expected);
    for (const Request &r : expected)
      QCOMPARE(int(*rig_.sim->Parameter(1, static_cast<std::uint16_t>(r.reg))), r.value);
    QCOMPARE(Field(writeable[0].code, "MODIFY"), QString(writeable[0].min));
    QCOMPARE(Field(gap.code, "MODIFY"), QString());

    // With the gap filled the run goes to the end.
    dialogs.Clear();
    Form1->Functions->MoveTo(Form1->Functions->FindCode(gap.code, -1));
    Form1->Functions->StoreValues(gap.max, QString());
    StartRun(Form1->WriteAll);
    // the run has ended once its box is shown, not when it is seen idle
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs.Texts().isEmpty() && Idle(), kRunMs);
    // the first line; what failed or came late on a loaded machine may follow
    QCOMPARE(dialogs.Texts().size(), 1);
    QCOMPARE(dialogs.Texts()[0].section('\n', 0, 0), QString("Have finished writing all codes!"));
    QCOMPARE(Distinct(*rig_.sim).size(), writeable.size());
    for (const Rm40Parameter &p : writeable)
      QCOMPARE(Field(p.code, "MODIFY"), Field(p.code, "NOWDATA"));
    QCOMPARE(Form1->Functions->CurrentRecord(), Form1->Functions->RecordCount() - 1);
    QCOMPARE(Form1->WriteAll->text(), QString("Write all functions_ok"));
  }

  // A write that got no reply is written again before write all moves on.
  void writeAllAsksAFailedRecordAgain() {
    DialogRecorder dialogs;
    std::vector<Request> seen;
    RunWithFirstRepliesDropped(Form1->WriteAll, seen);
    if (QTest::currentTestFailed())
      return;
    QCOMPARE(seen[0].function, std::string("06"));
    QCOMPARE(seen[1], seen[0]);
    QCOMPARE(seen[2], seen[0]);
    QVERIFY(std::any_of(seen.begin(), seen.end(), [&](const Request &r) { return r.reg != seen[0].reg; }));
  }

  // "Modify" and "read" pressed within one tick: the read goes out first.
  void pendingReadGoesBeforePendingModify() {
    DialogRecorder dialogs;
    Form1->UpcSend->stop();
    SelectCell("F113", "MODIFY");
    Form1->DBGrid1CellClick(Form1->DBGrid1->currentIndex().column());
    InputBox->UmodifyFunc->setText("12.5");
    QTest::mouseClick(InputBox->Button1, Qt::LeftButton);
    QTest::mouseClick(InputBox->Button4, Qt::LeftButton);
    QVERIFY(Form1->State.ReadPending && Form1->State.ModifyPending);
    rig_.sim->ClearReceivedFrames();
    Form1->UpcSend->start();
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), kReplyMs);
    const std::vector<Request> seen = Requests(*rig_.sim);
    QCOMPARE(seen.size(), std::size_t(2));
    QCOMPARE(seen[0].function, std::string("03"));
    QCOMPARE(seen[1], (Request{"06", 0x010D, 1250}));
    QTest::mouseClick(InputBox->Button3, Qt::LeftButton);
  }

  void runsAreRefusedWhileTheDriveIsBusy() {
    DialogRecorder dialogs;
    const QString text[] = {"Please stop refresh before you start read all function!",
                            "Please stop broadcast before you start read all function!",
                            "Please stop running before you start read all function!"};
    for (QPushButton *button : {Form1->ReadAll, Form1->WriteAll}) {
      const QString idle = button->text();
      EngineStateAccess::Of(*Form1->Engine).ScanRunning = true;
      button->click();
      EngineStateAccess::Of(*Form1->Engine).ScanRunning = false;
      Form1->CheckBox1->setChecked(true);
      button->click();
      Form1->CheckBox1->setChecked(false);
      Form1->UrunShape->SetBrushColor(LampColor::Green);
      button->click();
      Form1->UrunShape->SetBrushColor(LampColor::Off);
      QCOMPARE(dialogs.Texts(), QStringList(std::begin(text), std::end(text)));
      QCOMPARE(button->text(), idle);
      QVERIFY(Idle());
      dialogs.Clear();
    }
    // A cancel is refused the same way.
    Form1->ReadAll->click();
    Form1->UrunShape->SetBrushColor(LampColor::Green);
    Form1->ReadAll->click();
    QVERIFY(Form1->State.ReadAllActive);
    Form1->UrunShape->SetBrushColor(LampColor::Off);
    Form1->ReadAll->click();
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), kReplyMs);
  }

  // The frequency box on the control tab: 45 is written as 4500 to 010D and
  // comes back as 45.00 in the box and in record 11.
  void frequencyFromTheControlTab() {
    DialogRecorder dialogs;
    Form1->PageControl1->setCurrentIndex(0);
    Form1->Functions->MoveTo(40);
    dialogs.onModal = [](QDialog *) {
      InputBox->UmodifyFunc->setText("45");
      InputBox->Button1Click();
    };
    rig_.sim->ClearReceivedFrames();
    Form1->Edit9Click();
    QCOMPARE(Form1->CommonParamRow, 11);
    QCOMPARE(Form1->Functions->CurrentRecord(), 40); // the grid keeps its place
    QCOMPARE(InputBox->Label3->text(), QString("Please input data (0.00----400.00)"));
    QTRY_VERIFY_WITH_TIMEOUT(Idle() && !Requests(*rig_.sim).empty(), kReplyMs);
    QCOMPARE(Requests(*rig_.sim), (std::vector<Request>{{"06", 0x010D, 0x1194}}));
    QCOMPARE(*rig_.sim->Parameter(1, 0x010D), std::uint16_t(4500));
    QCOMPARE(InputBox->InputboxHint->text(), QString("Hint: Modify successfully!"));
    QCOMPARE(Form1->Edit9->text(), QString("45.00"));
    Form1->Functions->MoveTo(11);
    QCOMPARE(Form1->Functions->Text("CODE"), QString("F113"));
    QCOMPARE(Form1->Functions->Text("NOWDATA"), QString("45.00"));
    QCOMPARE(Form1->Functions->Text("MODIFY"), QString("45.00"));

    // A read from the panel fills the box of its parameter.
    rig_.sim->SetParameter(1, 0x010E, 123); // F114, one decimal
    dialogs.onModal = [](QDialog *) { InputBox->Button4Click(); };
    Form1->Edit10Click();
    QTRY_VERIFY_WITH_TIMEOUT(Idle() && InputBox->UreadFunc->text() == "12.3", kReplyMs);
    QCOMPARE(Form1->Edit10->text(), QString("12.3"));
    QCOMPARE(InputBox->InputboxHint->text(), QString("Hint: Read successfully!"));
    QCOMPARE(Field("F114", "NOWDATA"), QString("12.3"));
    Form1->PageControl1->setCurrentIndex(1);
  }

  // The wheel moves the current record by one and the dark violet row
  // follows it; the ends hold.
  void wheelStepsOneRecord() {
    const auto wheel = Wheel;
    const auto violet = [](int row) {
      QStyleOptionViewItem option;
      const QModelIndex index = Form1->DBGrid1->model()->index(row, 0);
      static_cast<TCurrentRowDelegate *>(Form1->DBGrid1->itemDelegate())->initStyleOption(&option, index);
      return option.backgroundBrush.color() == ColorFromBgr(TCurrentRowDelegate::CurrentRowColor) &&
             option.palette.color(QPalette::Text) == Qt::white;
    };
    const int last = Form1->Functions->RecordCount() - 1;
    Form1->Functions->MoveTo(5);
    wheel(-120);
    QCOMPARE(Form1->Functions->CurrentRecord(), 6);
    QVERIFY(violet(6));
    QVERIFY(!violet(5));
    wheel(120);
    wheel(120);
    QCOMPARE(Form1->Functions->CurrentRecord(), 4);
    QVERIFY(violet(4));
    Form1->Functions->MoveTo(0);
    wheel(120);
    QCOMPARE(Form1->Functions->CurrentRecord(), 0);
    Form1->Functions->MoveTo(last);
    wheel(-120);
    QCOMPARE(Form1->Functions->CurrentRecord(), last);
    QVERIFY(violet(last));
  }

  // A click on a MODIFY cell opens the window for the record clicked, and
  // its "read" asks the drive for that record's register and stores the
  // value there. Keys and the wheel move the record; its row stays in view.
  void clickAndKeysMoveTheRecord() {
    DialogRecorder dialogs;
    QTableView *grid = Form1->DBGrid1;
    QTest::keyClick(grid, Qt::Key_Home);
    QCOMPARE(Form1->Functions->CurrentRecord(), 0);
    const QString f100 = Field("F100", "NOWDATA");
    const QModelIndex f113 = CellOf("F113", "MODIFY");
    QVERIFY(RowInView(f113.row()));
    rig_.sim->SetParameter(1, 0x010D, 4321);
    rig_.sim->ClearReceivedFrames();
    QString prompt;
    dialogs.onModal = [&](QDialog *) {
      prompt = InputBox->Label3->text();
      QTest::mouseClick(InputBox->Button4, Qt::LeftButton); // "read"
      QTest::mouseClick(InputBox->Button3, Qt::LeftButton); // "Close"
    };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(f113).center());
    QCOMPARE(prompt, QString("Please input data (0.00----400.00)"));
    QTRY_VERIFY_WITH_TIMEOUT(Idle() && !Requests(*rig_.sim).empty(), kReplyMs);
    QCOMPARE(Requests(*rig_.sim).front(), (Request{"03", 0x010D, 1}));
    QCOMPARE(Field("F113", "NOWDATA"), QString("43.21"));
    QCOMPARE(Field("F100", "NOWDATA"), f100);
    QCOMPARE(Form1->Functions->CurrentRecord(), f113.row());

    const int last = Form1->Functions->RecordCount() - 1;
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(Form1->Functions->CurrentRecord(), f113.row() + 1);
    QTest::keyClick(grid, Qt::Key_End);
    QCOMPARE(Form1->Functions->CurrentRecord(), last);
    QVERIFY(RowInView(last));
    QTest::keyClick(grid, Qt::Key_PageUp);
    const int page = Form1->Functions->CurrentRecord();
    QVERIFY(page < last - 5);
    QVERIFY(RowInView(page));
    QTest::keyClick(grid, Qt::Key_Home);
    QCOMPARE(Form1->Functions->CurrentRecord(), 0);
    QVERIFY(RowInView(0));
    for (int step = 0; step < 40; ++step)
      Wheel(-120);
    QCOMPARE(Form1->Functions->CurrentRecord(), 40);
    QVERIFY(RowInView(40));
  }

  // Export names, no overwriting, and an imported table that receives the
  // values read into it.
  void exportAndImport() {
    DialogRecorder dialogs;
    const QString out = rig_.folder.path() + "/out/";
    QVERIFY(QDir().mkpath(out));
    QFile source(DataFolder() + "RM40.DBF");
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray table = source.readAll();

    const auto exportAs = [&](const QString &name) {
      dialogs.QueuePath(out + name);
      Form1->ExportFunctions1Click();
    };
    exportAs("UFunc.DBF");
    exportAs("backup");
    exportAs("backup.Dbf");
    exportAs("other.dbf");
    QCOMPARE(dialogs.requests[0].text, QString("UFunc.DBF"));
    QStringList made = QDir(out).entryList(QDir::Files);
    made.sort();
    QStringList wanted{"UFunc.DBF", "backup.Dbf.dbf", "backup.dbf", "other.dbf"};
    wanted.sort();
    QCOMPARE(made, wanted);
    QFile copy(out + "backup.dbf");
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), table);

    // An existing file is left as it was.
    QFile existing(out + "keep.dbf");
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("mine");
    existing.close();
    exportAs("keep.dbf");
    QVERIFY2(dialogs.LastText().contains("keep.dbf exists already"), qPrintable(dialogs.LastText()));
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("mine"));
    existing.close();

    // Import through the dialog, which opens in database1 and lists the
    // tables there; then a read from the grid is stored in the imported file.
    const QStringList offered = ImportThroughDialog(dialogs, out + "other.dbf");
    QVERIFY2(offered.contains("usercmd.dbf"), qPrintable(offered.join(',')));
    QCOMPARE(Form1->FunctionTableFile, QString("other.dbf"));
    QCOMPARE(Form1->DataFolder, out);
    QCOMPARE(Form1->Functions->RecordCount(), static_cast<int>(Rm40Parameters().size()));
    rig_.sim->SetParameter(1, 0x0111, 777); // F117, one decimal
    dialogs.onModal = [](QDialog *) { InputBox->Button4Click(); };
    SelectCell("F117", "MODIFY");
    Form1->DBGrid1CellClick(Form1->DBGrid1->currentIndex().column());
    QTRY_VERIFY_WITH_TIMEOUT(Idle() && InputBox->UreadFunc->text() == "77.7", kReplyMs);

    const auto storedIn = [](const QString &folder, const QString &file) {
      TTableConnection connection;
      connection.SetConnectionString(TTableConnection::ConnectionTextFor(folder));
      connection.Open();
      TTableQuery query(&connection);
      query.SetSQL("select CODE,NOWDATA from " + file + " where CODE is not NULL order by CODE ");
      query.Open();
      for (query.First(); !query.Eof(); query.Next())
        if (query.FieldByName("CODE").AsString() == "F117")
          return query.FieldByName("NOWDATA").AsString();
      return QString("<missing>");
    };
    QCOMPARE(storedIn(out, "other.dbf"), QString("77.7"));
    QVERIFY(storedIn(DataFolder(), "RM40.DBF") != "77.7");

    // Exporting now copies the imported file, not RM40.DBF.
    exportAs("again.dbf");
    QCOMPARE(storedIn(out, "again.dbf"), QString("77.7"));

    // The imported table lists its unnamed records too, so F113 stands
    // elsewhere; the frequency box still opens F113.
    dialogs.onModal = nullptr;
    const int f113 = Form1->Functions->FindCode("F113", -1);
    QVERIFY(f113 != 11);
    Form1->Edit9Click();
    QCOMPARE(Form1->CommonParamRow, f113);
    QCOMPARE(Form1->CurrentCode, QString("113"));
    QCOMPARE(InputBox->Label3->text(), QString("Please input data (0.00----400.00)"));

    // Leaving the series selector brings RM40.DBF back.
    Form1->DriveSeriesExit();
    QCOMPARE(Form1->FunctionTableFile, QString("RM40.DBF"));
    QCOMPARE(Form1->DataFolder, DataFolder());
    QCOMPARE(Form1->Functions->RecordCount(), static_cast<int>(Listed().size()));
  }

  // A value in an imported table is read as a typed one: "1,000" where "."
  // separates decimals is no 1.0; write all stops at it, naming it as the
  // file holds it.
  void writeAllReadsImportedValuesAsTyped() {
    DialogRecorder dialogs;
    const QString out = rig_.folder.path() + "/grouped/";
    QVERIFY(QDir().mkpath(out));
    QVERIFY(QFile::copy(DataFolder() + "RM40.DBF", out + "grouped.dbf"));
    {
      TTableConnection connection;
      connection.SetConnectionString(TTableConnection::ConnectionTextFor(out));
      connection.Open();
      TTableQuery query(&connection);
      query.SetSQL("select * from grouped.dbf");
      query.Open();
      for (query.First(); !query.Eof(); query.Next()) {
        const bool f114 = query.FieldByName("CODE").AsString().trimmed() == "F114";
        query.Edit();
        query.FieldByName("NOWDATA").SetAsString(f114 ? "1,000" : query.FieldByName("MIN").AsString());
        query.KeepEdits();
      }
      query.WriteKept();
      query.Close();
    }
    ImportThroughDialog(dialogs, out + "grouped.dbf");
    QCOMPARE(Form1->FunctionTableFile, QString("grouped.dbf"));
    const auto before = rig_.sim->Parameter(1, 0x010E);

    StartRun(Form1->WriteAll);
    QTRY_VERIFY_WITH_TIMEOUT(Idle() && !dialogs.Texts().isEmpty(), kRunMs);
    QCOMPARE(dialogs.Texts(), QStringList{out + "grouped.dbf: F114=1,000: the value holds a \",\" where this "
                                                "locale's decimal point is \".\"; write it with \".\" before "
                                                "decimals and no thousands separator"});
    const std::vector<Request> sent = Requests(*rig_.sim);
    QVERIFY(!sent.empty()); // the records before it
    QVERIFY(std::none_of(sent.begin(), sent.end(), [](const Request &r) { return r.reg >= 0x010E; }));
    QCOMPARE(rig_.sim->Parameter(1, 0x010E), before);
    Form1->DriveSeriesExit();
    QCOMPARE(Form1->FunctionTableFile, QString("RM40.DBF"));
  }
};

VDD_TEST_MAIN(TestParameters)
#include "test_parameters.moc"
