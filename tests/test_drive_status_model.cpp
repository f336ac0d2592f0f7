// The period scan and the drive status model on the engine alone, on
// simulated drives behind a pseudo-terminal: a series scan reads the status
// of each drive that answers, and a pause stops its requests.
#include "drive/ControlLamps.h"
#include "drive/RequestBodies.h"
#include "protocol/HexText.h"
#include "session/DriveStatusModel.h"
#include "session/PeriodScan.h"
#include "support/EngineOnSimulator.h"
#include "tests/support/EngineStateAccess.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(ExchangeRecord)

namespace {
// The engine's scan steps, served by the scan as the main window serves them.
class ScanSteps : public ExchangeSteps {
public:
  explicit ScanSteps(PeriodScan &scan) : scan_(scan) {}
  void SeriesScanStep() override { scan_.SeriesStep(); }
  void ArbitraryScanStep() override { scan_.ArbitraryStep(); }
  bool ScanAddressReady() override { return scan_.AddressReady("1"); }
  bool ScanAsksSeveralDrives() const override { return scan_.AsksSeveralDrives(); }

private:
  PeriodScan &scan_;
};

// A period scan and the status model on the engine, on the simulator's line.
struct ScanOnLine {
  EngineOnSimulator line;
  PeriodScan scan{line.engine};
  DriveStatusModel model{line.engine};
  ScanSteps steps{scan};

  bool Open(DriveSimulator &sim) {
    line.engine.SetSteps(&steps);
    QObject::connect(&scan, &PeriodScan::RequestDue, &line.engine, &TExchangeEngine::SendFrame);
    return line.Open(sim, true);
  }

  bool Pause() {
    scan.Pause();
    return QTest::qWaitFor(
        [&] { return !line.engine.State.WaitingReply && !line.engine.State.QuietWindowPending; }, 5000);
  }
};
} // namespace

class TestDriveStatusModel : public QObject {
  Q_OBJECT
private slots:
  void initTestCase() {
    qRegisterMetaType<ExchangeRecord>();
    LocaleDecimalSeparator = std::string(1, '.');
  }

  void seriesScanReadsEachDriveThatAnswers() {
    SimOptions options;
    options.rtu = true;
    options.drives = {1, 3};
    DriveSimulator sim(options);
    QVERIFY(sim.Start());
    QVERIFY(sim.SetParameter(1, DriveModel::AccelerationRegister, 0)); // at speed at once
    QVERIFY(sim.SetParameter(1, DriveModel::SetFrequencyRegister, 4000));
    QVERIFY(sim.InjectDriveFault(3, 10));

    ScanOnLine rig;
    QVERIFY(rig.Open(sim));
    TExchangeEngine &engine = rig.line.engine;
    PeriodScan &scan = rig.scan;
    DriveStatusModel &model = rig.model;
    scan.SetKind(true, false);
    engine.Timer->start(10);

    // drive 1 runs forward
    QSignalSpy started(&engine, &TExchangeEngine::ExchangeStarted);
    QSignalSpy ended(&engine, &TExchangeEngine::ExchangeEnded);
    EngineStateAccess::Of(engine).ControlFrame = RequestBodies::Control(1, ControlCode(FwdStart));
    EngineStateAccess::Of(engine).ControlPending = true;
    QVERIFY(QTest::qWaitFor([&] { return ended.count() == 1; }, 5000));
    started.clear();

    QSignalSpy decoded(&model, &DriveStatusModel::StatusDecoded);
    scan.Start(1, 3, 10);
    QVERIFY(scan.Running());
    QVERIFY(QTest::qWaitFor([&] { return decoded.count() >= 4; }, 10000));
    QVERIFY(rig.Pause());
    QVERIFY(!scan.Running());

    std::vector<int> polled;
    for (const QList<QVariant> &signal : started)
      polled.push_back(signal.at(0).value<ExchangeRecord>().address);
    QVERIFY(polled.size() >= 6);
    QCOMPARE(std::vector<int>(polled.begin(), polled.begin() + 6), (std::vector<int>{1, 2, 3, 1, 2, 3}));

    const auto block = sim.StatusBlock(1);
    QVERIFY(block.has_value());
    QCOMPARE((*block)[0], std::uint16_t(4000));
    const DriveStatusReading *running = model.Latest(1);
    QVERIFY(running);
    QCOMPARE(running->values.frequency, 40.0);
    QCOMPARE(running->values.outputVoltage, double((*block)[1]));
    QCOMPARE(running->values.outputCurrent, (*block)[2] / 100.0);
    QCOMPARE(running->values.dcVoltage, double((*block)[4]));
    QCOMPARE(running->Texts().frequency, std::string("40.00"));
    QCOMPARE(running->Texts().machineStatus, std::string("Forward Start"));

    QVERIFY(!model.Latest(2));
    const DriveStatusReading *tripped = model.Latest(3);
    QVERIFY(tripped);
    QCOMPARE(tripped->values.statusCode, 10);
    QCOMPARE(tripped->Texts().machineStatus, MachineStatusName(10));

    // paused, nothing more goes out
    const qsizetype endedBefore = ended.count();
    QTest::qWait(300);
    QCOMPARE(ended.count(), endedBefore);
  }

  // A drive answering after its time-out, alone in the scan list: its late
  // answer would pass for the next request's, so the line is held for it and
  // the drive is named late rather than shown with an old status.
  void lateDriveScannedAloneIsHeldFor() {
    SimOptions options;
    options.rtu = true;
    DriveSimulator sim(options);
    QVERIFY(sim.Start());
    sim.SetLineFaults({.lateMs = 300});
    ScanOnLine rig;
    QVERIFY(rig.Open(sim));
    rig.scan.SetKind(false, true);
    QVERIFY(rig.scan.TakeList("1").check.Ok());
    QSignalSpy decoded(&rig.model, &DriveStatusModel::StatusDecoded);
    QSignalSpy late(&rig.line.engine, &TExchangeEngine::LateDriveNoted);
    QSignalSpy ended(&rig.line.engine, &TExchangeEngine::ExchangeEnded);
    rig.line.engine.Timer->start(10);
    rig.scan.Start(0, 0, 10);
    QVERIFY(QTest::qWaitFor([&] { return ended.count() >= 6; }, 20000));
    QVERIFY(rig.Pause());
    QCOMPARE(decoded.count(), 0);
    QVERIFY(!late.isEmpty());
    QCOMPARE(late.first().at(0).toInt(), 1);
  }
};

QTEST_GUILESS_MAIN(TestDriveStatusModel)
#include "test_drive_status_model.moc"
