// Parameter sets against the drive simulator over a real pseudo-terminal,
// driven through the windows as a user: the comparison with the defaults and
// with a saved set, write all with verification, and the parameter the
// "Input Box" names.
#include "app/MainWindow.h"
#include "app/params/CompareWindow.h"
#include "app/params/TInputBox.h"
#include "base/AppPaths.h"
#include "params/ParameterCodes.h"
#include "params/Rm40Parameters.h"
#include "session/FunctionTable.h"
#include "settings/DataFolder.h"
#include "settings/Preferences.h"
#include "sim/DriveSimulator.h"
#include "support/DialogRecorder.h"
#include "support/FastLine.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include <algorithm>
#include <set>

namespace {
constexpr int kRunMs = 300000; // whole runs; generous for a loaded machine
constexpr int kReplyMs = 30000;

std::uint16_t RegisterOf(const QString &code) {
  return static_cast<std::uint16_t>(std::stoi(ParameterRegister(code.mid(1).toStdString()), nullptr, 16));
}

bool Idle() {
  const CommState &s = Form1->State;
  return !s.ReadAllActive && !s.WriteAllActive && !s.WaitingReply && !Form1->State.ReadPending &&
         !Form1->State.ModifyPending && s.ReceiveBuffer.empty();
}

void Click(QAbstractButton *button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// The CODE column of the comparison as the window shows it.
QStringList ListedCodes(const TCompareWindow *window) {
  QStringList codes;
  for (int r = 0; r < window->Rows->rowCount(); ++r)
    codes << window->Rows->item(r, 0)->text();
  return codes;
}

QStringList ShownRow(const TCompareWindow *window, const QString &code) {
  for (int r = 0; r < window->Rows->rowCount(); ++r) {
    if (window->Rows->item(r, 0)->text() != code)
      continue;
    QStringList cells;
    for (int c = 0; c < window->Rows->columnCount(); ++c)
      cells << window->Rows->item(r, c)->text();
    return cells;
  }
  return {};
}

QString Field(const QString &code, const char *field) {
  const int remembered = Form1->Functions->CurrentRecord();
  Form1->Functions->MoveTo(Form1->Functions->FindCode(code, -1));
  const QString text = Form1->Functions->Text(field);
  Form1->Functions->MoveTo(remembered);
  return text;
}

void Store(const QString &code, const QString &value) {
  Form1->Functions->MoveTo(Form1->Functions->FindCode(code, -1));
  Form1->Functions->StoreValues(value, QString());
}
} // namespace

class TestParameterSets : public QObject {
  Q_OBJECT

  SimulatedRig rig_;

  void ReadAllByClick(DialogRecorder &dialogs) {
    QVERIFY(Idle());
    dialogs.Clear();
    Click(Form1->ReadAll);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), kRunMs);
    // the first line; what failed or came late on a loaded machine may follow
    QCOMPARE(dialogs.Texts().size(), 1);
    QCOMPARE(dialogs.Texts()[0].section('\n', 0, 0), QString("Have finished reading all codes!"));
  }

  // Opens the comparison with the button of the parameter tab.
  TCompareWindow *OpenCompare(DialogRecorder &dialogs) {
    TCompareWindow *window = nullptr;
    dialogs.onModal = [&](QDialog *dialog) { window = qobject_cast<TCompareWindow *>(dialog); };
    Click(Form1->CompareParameters);
    dialogs.onModal = nullptr;
    return window;
  }

private slots:
  void initTestCase() {
    if (!rig_.UseProgramFolder())
      return;
    QCOMPARE(EnsureDataFolder(AppPaths::DataFolder()), QString());
    SimOptions options;
    options.baud = 38400;
    // This drive refuses F117 above 100.0, where the table allows 3000.0.
    options.parameters = ShippedParameterDefinitions();
    for (ParameterDefinition &p : options.parameters)
      if (p.code == "F117")
        p.max = "100.0";
    if (!rig_.StartSimulator(options))
      return;
    CreateApplicationWindows();
    Form1->show();
    Form1->activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Activated, 20000);
    UseFastLine(60);
    QTabBar *tabs = Form1->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(Form1->PageControl1->currentIndex(), 1);
  }

  void cleanupTestCase() {
    DestroyApplicationWindows();
    rig_.sim.reset();
  }

  // Two parameters changed on the drive, read all, and the comparison with
  // the defaults lists those two; all parameters with "Reserved" and "--"
  // named; the CSV of the view. A third written through the "Input Box",
  // opened from F113's MODIFY cell, which names F113, joins them.
  void compareWithDefaults() {
    QVERIFY(Form1->Edit9->toolTip().startsWith("F113 "));
    QVERIFY(Form1->Edit14->toolTip().startsWith("F126 "));
    rig_.sim->SetParameter(1, RegisterOf("F105"), 150); // 1.50, default 0.50
    rig_.sim->SetParameter(1, RegisterOf("F131"), 99);  // default 15
    DialogRecorder dialogs;
    ReadAllByClick(dialogs);
    TCompareWindow *window = OpenCompare(dialogs);
    QVERIFY(window && window->isVisible());
    QVERIFY(window->WithDefaults->isChecked() && window->OnlyDifferences->isChecked());
    QCOMPARE(ListedCodes(window), (QStringList{"F105", "F131"}));
    QCOMPARE(ShownRow(window, "F105"),
             (QStringList{"F105", "Start Frequency", "1.50", "0.50", "0.00", "10.00", "differs"}));
    const QString pictures = qEnvironmentVariable("VDD_SCREENSHOT_DIR", rig_.folder.path());
    QVERIFY(window->grab().save(QDir(pictures).filePath("compare_parameters.png")));

    Click(window->OnlyDifferences);
    QCOMPARE(window->Rows->rowCount(), Form1->Functions->RecordCount());
    QCOMPARE(ShownRow(window, "F135").last(), QString("Reserved"));
    QCOMPARE(ShownRow(window, "F102").last(), QString("--"));
    QCOMPARE(ShownRow(window, "F113").last(), QString("same"));
    const QString csv = QDir(rig_.folder.path()).filePath("all.csv");
    dialogs.QueuePath(csv);
    Click(window->ExportCsv);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n");
    QCOMPARE(lines.first(), QString("CODE,NAME,This table (NOWDATA),DEFAULT,MIN,MAX,RESULT"));
    QVERIFY(lines.contains("F131,Items Shown While Running,99,15,0,8191,differs"));
    QCOMPARE(lines.size(), Form1->Functions->RecordCount() + 2); // title, rows, empty after the last
    QCOMPARE(ParameterCompare::CsvField("a,\"b\""), QString("\"a,\"\"b\"\"\""));
    Click(window->Close);
    QTRY_VERIFY(!window->isVisible());

    // The Input Box from F113's MODIFY cell: it names F113 and writes it.
    QTableView *grid = Form1->DBGrid1;
    const int f113 = Form1->Functions->FindCode("F113", -1);
    int modifyColumn = -1;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
      if (grid->model()->headerData(c, Qt::Horizontal).toString() == "MODIFY")
        modifyColumn = c;
    const QModelIndex cell = grid->model()->index(f113, modifyColumn);
    grid->scrollTo(cell);
    QString named, prompt;
    dialogs.onModal = [&](QDialog *) {
      named = InputBox->ParameterName->text();
      prompt = InputBox->Label3->text();
      InputBox->UmodifyFunc->selectAll();
      QTest::keyClicks(InputBox->UmodifyFunc, "45");
      Click(InputBox->Button1);
    };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
    QCOMPARE(named, QString("F113  Target Frequency"));
    QVERIFY(InputBox->grab().save(QDir(pictures).filePath("input_box.png")));
    QCOMPARE(prompt, QString("Please input data (0.00----400.00)"));
    QTRY_VERIFY_WITH_TIMEOUT(Idle() && rig_.sim->Parameter(1, RegisterOf("F113")) == 4500, kReplyMs);
    Click(InputBox->Button3);

    window = OpenCompare(dialogs);
    QVERIFY(window);
    QCOMPARE(ListedCodes(window), (QStringList{"F105", "F113", "F131"}));
    Click(window->Close);
  }

  // A set saved from the drive, its records reversed by another program;
  // the drive then changed in two parameters: the comparison matches by CODE.
  void compareWithASavedSet() {
    DialogRecorder dialogs;
    const QString saved = QDir(rig_.folder.path()).filePath("saved.dbf");
    const QString reference = QDir(rig_.folder.path()).filePath("reference.dbf");
    dialogs.QueuePath(saved);
    Form1->ExportFunctions1->trigger();
    QProcess reverse;
    reverse.start(
        "/usr/bin/python3",
        {qEnvironmentVariable("VDD_SOURCE_DIR") + "/tests/reverse_table_records.py", saved, reference});
    QVERIFY(reverse.waitForFinished(60000));
    QVERIFY2(reverse.exitCode() == 0, reverse.readAllStandardError().constData());

    rig_.sim->SetParameter(1, RegisterOf("F105"), 200); // 2.00, the set holds 1.50
    rig_.sim->SetParameter(1, RegisterOf("F114"), 555); // 55.5, the set holds 10.0
    ReadAllByClick(dialogs);

    TCompareWindow *window = OpenCompare(dialogs);
    QVERIFY(window);
    dialogs.onFileDialog = [&](QFileDialog *dialog) {
      QTRY_VERIFY_WITH_TIMEOUT(DialogRecorder::ListedFiles(dialog).contains("RM40.DBF"), 20000);
      auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
      QVERIFY(name);
      QTest::keyClicks(name, reference);
      QTest::keyClick(name, Qt::Key_Return);
    };
    Click(window->ChooseFile);
    QVERIFY(window->WithFile->isChecked());
    QCOMPARE(ListedCodes(window), (QStringList{"F105", "F114"}));
    QCOMPARE(ShownRow(window, "F114"),
             (QStringList{"F114", "Acceleration Time 1", "55.5", "10.0", "0.1", "3000.0", "differs"}));
    QCOMPARE(window->Rows->horizontalHeaderItem(3)->text(), QString("reference.dbf"));
    Click(window->Close);
    // opened again, it still knows the file
    window = OpenCompare(dialogs);
    QVERIFY(window);
    QCOMPARE(window->OtherFile->text(), QString("reference.dbf"));
    Click(window->WithFile);
    QCOMPARE(ListedCodes(window), (QStringList{"F105", "F114"}));
    Click(window->Close);
  }

  // Write all with verification: the value the drive clamps is listed after
  // reading back, the refused one named and not counted, the one outside
  // the table's range never sent; the table keeps what was meant.
  void verifiedWriteAll() {
    DialogRecorder dialogs;
    Click(Form1->VerifyWriteAll);
    QVERIFY(Form1->VerifyWriteAll->isChecked());
    QVERIFY(Preferences(AppPaths::DataFolder()).Bool("Parameters/VerifyWriteAll", false));

    QVERIFY(rig_.sim->LimitParameter(1, RegisterOf("F113"), 4000)); // holds at most 40.00
    Store("F113", "45.00");
    Store("F117", "200.0");  // refused: this drive stops at 100.0
    Store("F120", "5000.0"); // beyond the table's 3000.0
    int writeable = 0;
    for (const Rm40Parameter &p : Rm40Parameters())
      writeable += p.name && p.writeable;

    rig_.sim->ClearReceivedFrames();
    Click(Form1->WriteAll);
    QTRY_VERIFY_WITH_TIMEOUT(Idle() && !dialogs.Texts().isEmpty(), kRunMs);
    QCOMPARE(dialogs.Texts().size(), 1);
    const QStringList report = dialogs.LastText().split('\n');
    const int written = writeable - 2;
    QCOMPARE(report.value(0), QString("Have finished writing all codes!"));
    QCOMPARE(report.value(1),
             QString("Written: %1, verified: %2, differing: 1").arg(written).arg(written - 1));
    QCOMPARE(report.value(2), QString("F113: written 45.00, the drive holds 40.00"));
    QCOMPARE(report.value(3), QString("Refused by the drive (exception 03): F117"));
    QCOMPARE(report.value(4), QString("Not written: F120 (5000.0 outside 0.0----3000.0)"));
    QCOMPARE(report.size(), 5);

    std::set<int> readBack;
    for (const std::string &frame : rig_.sim->ReceivedFrames()) {
      const int reg = std::stoi(frame.substr(5, 4), nullptr, 16);
      QVERIFY2(reg != RegisterOf("F120"), frame.c_str());
      if (frame.substr(3, 2) == "03")
        readBack.insert(reg);
    }
    QCOMPARE(int(readBack.size()), written);
    QVERIFY(!readBack.count(RegisterOf("F117")));
    QCOMPARE(*rig_.sim->Parameter(1, RegisterOf("F113")), std::uint16_t(4000));
    QCOMPARE(Field("F113", "NOWDATA"), QString("45.00"));
    QCOMPARE(Form1->WriteAll->text(), QString("Write all functions_ok"));
    QVERIFY(Form1->ReadAll->isEnabled());
  }
};

VDD_TEST_MAIN(TestParameterSets)
#include "test_parameter_sets.moc"
