// The control commands on a bare engine and the drive simulator: a command
// goes out for the drive named and its lamps follow; an address out of range
// or no number queues nothing.
#include "base/LampColor.h"
#include "protocol/ConvertError.h"
#include "session/DriveControl.h"
#include "support/EngineOnSimulator.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestDriveControlCommands : public QObject {
  Q_OBJECT

private slots:
  void commandsReachTheirDrive() {
    SimOptions options;
    options.drives = {1, 10};
    DriveSimulator sim(options);
    QVERIFY(sim.Start());
    EngineOnSimulator line;
    QVERIFY(line.Open(sim, false));
    TExchangeEngine &engine = line.engine;
    engine.Timer->start(10);

    DriveControl control(engine);
    QSignalSpy refused(&control, &DriveControl::Refused);
    QSignalSpy ended(&engine, &TExchangeEngine::ExchangeEnded);
    QVERIFY(control.Issue(FwdStart, "10"));
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
    QCOMPARE(sim.ReceivedFrames(), std::vector<std::string>{":0A0620000001CF\r\n"});
    QCOMPARE(ended.at(0).at(0).value<ExchangeRecord>().outcome, ExchangeRecord::Outcome::Accepted);
    using namespace LampColor;
    QCOMPARE(*control.Lamps(), (LampColors{Green, Off, Green, Off, Off, Off, Off}));

    // refused before anything changes: the command sent last stays the last
    QVERIFY(!control.Issue(DecStop, "300"));
    QCOMPARE(refused.count(), 1);
    QCOMPARE(refused.at(0).at(0).toString(), QString("Invalid input! Valid range:0-247!"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, control.Issue(DecStop, "x"));
    QVERIFY(!engine.State.ControlPending);
    QCOMPARE(*control.Lamps(), (LampColors{Green, Off, Green, Off, Off, Off, Off}));
    engine.Timer->stop();
  }
};

QTEST_GUILESS_MAIN(TestDriveControlCommands)
#include "test_drive_control_commands.moc"
