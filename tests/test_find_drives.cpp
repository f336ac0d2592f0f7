// "Find Drives…" used as a user uses it: drives at settings of their own
// behind the simulator's pseudo-terminal are found from the Tool menu, the
// search stopped, and the one chosen handed to "ProtocolSettings" and the
// drive address; answers that fail their checks are named, and an adapter
// that hears itself or hands replies over in packets misleads nobody; a line
// that goes away ends the search and is said to. A
// Linux pseudo-terminal shows the rate a program sets but clears the parity
// bit, so parity cannot be told on it: the order and the line timing of the
// settings are checked here as logic.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "app/tools/FindDrivesWindow.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"
#include "settings/Preferences.h"
#include "sim/SimCommands.h"
#include "support/DialogRecorder.h"
#include "support/MenuClicks.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

namespace {
using DiscoveryPlan::LineTrial;

void TypeInto(QSpinBox *box, const QString &text) {
  QTest::mouseClick(box, Qt::LeftButton);
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(box, text);
  QTest::keyClick(box, Qt::Key_Tab);
}

// Leaves checked only the boxes whose caption is in `wanted`.
void CheckOnly(const QList<QCheckBox *> &boxes, const QStringList &wanted) {
  for (QCheckBox *box : boxes)
    if (box->isChecked() != wanted.contains(box->text()))
      QTest::mouseClick(box, Qt::LeftButton);
}

int RowOf(const QList<FoundDrive> &found, int address, bool rtu, std::uint32_t baud) {
  for (int i = 0; i < found.size(); ++i)
    if (found[i].address == address && found[i].line.rtu == rtu && found[i].line.baud == baud)
      return i;
  return -1;
}
} // namespace

class TestFindDrives : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

private slots:
  void initTestCase() {
    SimOptions options;
    options.followRequestMode = true; // each drive in its own mode
    std::string error;
    QVERIFY2(ParseDriveList("1@9600,N,ascii,17@19200,E,rtu", options.drives, error, &options.driveLines),
             error.c_str());
    QVERIFY(rig_.StartRunning(options));
    // The simulator's answers wait on a machine busy with other work.
    Preferences preferences(AppPaths::DataFolder());
    preferences.Set("FindDrives/AllowanceMs", 80);
    QVERIFY(preferences.Save());
  }

  void cleanupTestCase() { rig_.TearDown(); }

  void settingsOrderAndTiming() {
    std::vector<LineTrial> all = DiscoveryPlan::OrderedTrials({});
    QCOMPARE(all.size(), std::size_t(48));
    QCOMPARE(all[0], (LineTrial{false, 9600, TParity::None})); // as delivered
    QCOMPARE(all[1], (LineTrial{true, 9600, TParity::Even}));
    QCOMPARE(all[2], (LineTrial{true, 9600, TParity::None}));
    QCOMPARE(all[6], (LineTrial{true, 19200, TParity::Even}));
    QCOMPARE(all.back(), (LineTrial{false, 1200, TParity::Odd}));
    for (std::size_t i = 0; i < all.size(); ++i)
      for (std::size_t j = i + 1; j < all.size(); ++j)
        QVERIFY(!(all[i] == all[j]));
    // RTU 8E1: 11 bits a character; an 8-byte request and the stated wait.
    QCOMPARE(all[6].CharacterBits(), 11);
    QCOMPARE(all[6].DataBits(), TByteSize::_8);
    QCOMPARE(DiscoveryPlan::TrialText(all[6]), QString("RTU 19200 8E1"));
    QCOMPARE(DiscoveryPlan::SilentAddressUs(all[6], 25),
             8 * 11 * 1'000'000 / 19200 + 25'000 + 4 * 11 * 1'000'000 / 19200);
    QCOMPARE(DiscoveryPlan::SilentAddressUs(all[0], 25),
             17 * 9 * 1'000'000 / 9600 + 25'000 + 4 * 9 * 1'000'000 / 9600);

    DiscoveryPlan::TrialChoice odd;
    odd.ascii = false;
    odd.bauds = {1200, 19200};
    odd.parities = {TParity::Odd, TParity::None};
    const std::vector<LineTrial> narrowed = DiscoveryPlan::OrderedTrials(odd);
    QCOMPARE(narrowed.size(), std::size_t(4));
    QCOMPARE(narrowed[0], (LineTrial{true, 19200, TParity::None}));
    QCOMPARE(narrowed[3], (LineTrial{true, 1200, TParity::Odd}));

    // The simulator's drives at their own settings, as --drives takes them.
    std::vector<int> drives;
    std::map<int, DriveLine> lines;
    std::string error;
    QVERIFY(ParseDriveList("1,3-4@4800,O,17@19200,E,rtu", drives, error, &lines));
    QCOMPARE(drives, (std::vector<int>{1, 3, 4, 17}));
    QCOMPARE(lines.count(1), std::size_t(0));
    QCOMPARE(lines[4], (DriveLine{4800, 'O', std::nullopt}));
    QCOMPARE(lines[17], (DriveLine{19200, 'E', FrameMode::Rtu}));
    for (const char *bad : {"1,E", "2@fast", "2@9600,rtu,E", "2@9600,X"})
      QVERIFY2(!ParseDriveList(bad, drives, error, &lines), bad);
  }

  void findUseAndConfirm() {
    ChooseFromMenu(Form1, Form1->FindDrives1);
    auto *window = Form1->findChild<FindDrivesWindow *>();
    QVERIFY(window != nullptr);
    QTRY_VERIFY(window->isVisible());
    QCOMPARE(window->Port->text(), QString("COM2"));
    TypeInto(window->ToAddress, "20");
    QCOMPARE(window->ToAddress->value(), 20);
    QVERIFY(!window->StopAtFirst->isChecked()); // the whole bus

    QVERIFY(Form1->Comm1->PortOpen());
    QTest::mouseClick(window->StartButton, Qt::LeftButton);
    QVERIFY(window->Discovery().Running());
    QVERIFY(!Form1->Comm1->PortOpen()); // the search has the line
    QTRY_VERIFY_WITH_TIMEOUT(RowOf(window->Found(), 17, true, 19200) >= 0, 180000);
    QTest::mouseClick(window->StopButton, Qt::LeftButton);
    QTRY_VERIFY(!window->Discovery().Running());
    QTRY_VERIFY(Form1->Comm1->PortOpen()); // and gives it back
    QVERIFY(window->Outcome->text().startsWith("Stopped"));
    QVERIFY(window->Elapsed->text().startsWith("Elapsed "));

    // Drive 1 at the delivered setting came first; the rates and modes
    // found are the drives' own.
    const QList<FoundDrive> &found = window->Found();
    QCOMPARE(found.first().address, 1);
    QCOMPARE(DiscoveryPlan::TrialText(found.first().line), QString("ASCII 9600 7N1"));
    for (const FoundDrive &drive : found)
      QVERIFY(drive.address == 1 ? !drive.line.rtu && drive.line.baud == 9600
                                 : drive.line.rtu && drive.line.baud == 19200);
    QCOMPARE(window->DriveTable->rowCount(), found.size());
    const int row = RowOf(found, 17, true, 19200);
    QCOMPARE(window->DriveTable->item(row, 7)->text(), QString("Stop, 0.00 Hz"));
    QCOMPARE(window->Suspects->count(), 0);

    if (const QString folder = qEnvironmentVariable("VDD_SCREENSHOT_DIR"); !folder.isEmpty())
      QVERIFY(window->grab().save(QDir(folder).filePath("find_drives_window.png")));

    // The user picks drive 17 and hands its settings on.
    QTableWidgetItem *cell = window->DriveTable->item(row, 0);
    QTest::mouseClick(window->DriveTable->viewport(), Qt::LeftButton, {},
                      window->DriveTable->visualItemRect(cell).center());
    QVERIFY(window->UseButton->isEnabled());
    QTest::mouseClick(window->UseButton, Qt::LeftButton);
    QTRY_VERIFY(ProtocolSet->isVisible());
    QCOMPARE(ProtocolSet->ComPort->currentText(), QString("COM2"));
    QCOMPARE(ProtocolSet->ModbusMode->currentText(), QString("RTU"));
    QCOMPARE(ProtocolSet->UserBaud->currentText(), QString("19200"));
    QCOMPARE(ProtocolSet->UserDataBit->currentText(), QString("8"));
    QCOMPARE(ProtocolSet->UserParity->currentText(), DiscoveryPlan::ParityLetter(found[row].line.parity));
    QCOMPARE(ProtocolSet->UserStopBit->currentText(), QString("1"));
    QCOMPARE(Form1->MachineID->currentText(), QString("17"));
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton); // OK
    QTRY_VERIFY(!ProtocolSet->isVisible());
    QCOMPARE(Form1->Comm1->BaudRate(), 19200u);
    QCOMPARE(Form1->Comm1->ByteSize(), TByteSize::_8);
    QVERIFY(Form1->Comm1->PortOpen());
  }

  void adaptersAndAnswersThatFailTheirChecks() {
    auto *window = Form1->findChild<FindDrivesWindow *>();
    QVERIFY(window != nullptr);
    TypeInto(window->ToAddress, "3");
    QTest::mouseClick(window->Rtu, Qt::LeftButton);
    QVERIFY(!window->Rtu->isChecked());
    CheckOnly(window->Bauds, {"9600"});
    CheckOnly(window->Parities, {"N"});

    // Every reply's checksum broken: drive 1 is a device whose answers
    // cannot be read at this setting.
    LineFaults corrupt;
    corrupt.corruptProbability = 1;
    rig_.sim->SetLineFaults(corrupt);
    QTest::mouseClick(window->StartButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window->Discovery().Running(), 60000);
    QVERIFY(window->Outcome->text().startsWith("Search complete"));
    QCOMPARE(window->Found().size(), 0);
    QCOMPARE(window->Suspects->count(), 1);
    QVERIFY2(window->Suspects->item(0)->text().startsWith("Address 1 at ASCII 9600 7N1: wrong checksum"),
             qPrintable(window->Suspects->item(0)->text()));
    QVERIFY(window->Suspects->item(0)->text().endsWith("A device at another setting may be here."));

    // An adapter that hands every request back: the echo is no answer.
    LineFaults echo;
    echo.echo = true;
    rig_.sim->SetLineFaults(echo);
    QTest::mouseClick(window->StartButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window->Discovery().Running(), 60000);
    QCOMPARE(window->Suspects->count(), 0);
    QCOMPARE(window->Found().size(), 1);
    QCOMPARE(window->Found().first().address, 1);
    // Handed on, the drive is read with the echo discarded, as it was found.
    QCOMPARE(window->DriveTable->item(0, 6)->text(), QString("yes"));
    QTest::mouseClick(window->UseButton, Qt::LeftButton);
    QTRY_VERIFY(ProtocolSet->isVisible());
    QCOMPARE(ProtocolSet->Echo->currentText(), QString("on"));
    QTest::mouseClick(ProtocolSet->Button2, Qt::LeftButton); // Close
    QTRY_VERIFY(!ProtocolSet->isVisible());

    // A USB adapter hands the reply over in packets 10 ms apart: the pauses
    // are within a reply's allowance, and the drive is found whole.
    SimOptions packets;
    packets.followRequestMode = true;
    packets.burstMs = 10;
    QVERIFY(rig_.StartSimulator(packets));
    QTest::mouseClick(window->StartButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window->Discovery().Running(), 60000);
    QCOMPARE(window->Suspects->count(), 0);
    QCOMPARE(window->Found().size(), 1);
    QCOMPARE(window->DriveTable->item(0, 7)->text(), QString("Stop, 0.00 Hz"));

    // The adapter pulled out during the search: it ends there and says
    // what was not tried.
    TypeInto(window->ToAddress, "247");
    QTest::mouseClick(window->StartButton, Qt::LeftButton);
    QTRY_VERIFY(window->Discovery().Running() && window->Progress->value() >= 3);
    rig_.sim.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!window->Discovery().Running(), 60000);
    const QString outcome = window->Outcome->text();
    QVERIFY2(outcome.startsWith("Search ended: the line went away at ASCII 9600 7N1, address "),
             qPrintable(outcome));
    QVERIFY2(outcome.contains("-247 at ASCII 9600 7N1; drives found: 1."), qPrintable(outcome));
    QVERIFY(rig_.StartSimulator(packets));
  }
};

VDD_TEST_MAIN(TestFindDrives)
#include "test_find_drives.moc"
