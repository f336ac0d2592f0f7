// The sequence run on its own: a bare engine, the drive simulator behind a
// pseudo-terminal and a command list held in memory. Each step's reply lands
// in the row it was built from; the run ends after its rounds, and stops
// with its reason on a row it cannot send.
#include "sequences/SequenceRequest.h"
#include "session/SequenceRun.h"
#include "support/EngineOnSimulator.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <array>
#include <vector>

namespace {
class MemoryList : public SequenceList {
public:
  std::vector<std::array<QString, CommandColumn::Count>> rows{1}; // the title row
  QString repeatTimes = "1";

  void Add(bool selected, const QString &command) {
    rows.push_back({});
    rows.back()[CommandColumn::Select] = selected ? "Yes" : "";
    rows.back()[CommandColumn::Command] = command;
  }
  int RowCount() const override { return static_cast<int>(rows.size()); }
  QString Cell(int row, int column) const override { return rows.at(row).at(column); }
  void SetCell(int row, int column, const QString &text) override { rows.at(row).at(column) = text; }
  void SelectCell(int, int) override {}
  QString RepeatTimes() const override { return repeatTimes; }
  bool CommandMode() const override { return true; }
  bool WriteMode() const override { return false; }
  QString DriveAddress() const override { return "1"; }
  bool Rm40Selected() const override { return false; }
  int StepPauseMs() const override { return 0; }
};

// What the tick asks of the sequence goes to the run.
class RunSteps : public ExchangeSteps {
public:
  SequenceRun *run = nullptr;
  void SequenceStep() override { run->Step(); }
  void StopSequence() override { run->Stop(); }
};
} // namespace

class TestSequenceRun : public QObject {
  Q_OBJECT

private slots:
  void repliesLandInTheirRows() {
    DriveSimulator sim(SimOptions{});
    QVERIFY(sim.Start());
    QVERIFY(sim.SetParameter(1, 0x010D, 4000));
    EngineOnSimulator line;
    QVERIFY(line.Open(sim, false));
    TExchangeEngine &engine = line.engine;
    engine.SetSequenceShown(true);

    MemoryList list;
    list.Add(true, "0103010D0001");  // F113 of drive 1
    list.Add(false, "0103010E0001"); // not selected: never sent
    list.Add(true, "0903010D0001");  // no drive 9
    list.Add(true, "0106010D0FA0");  // F113 written back
    SequenceRun run(engine, list);
    RunSteps steps;
    steps.run = &run;
    engine.SetSteps(&steps);
    QSignalSpy running(&run, &SequenceRun::RunningChanged);
    engine.Timer->start(10);

    run.Start();
    QTRY_VERIFY_WITH_TIMEOUT(!run.Running(), 20000);
    QCOMPARE(running.count(), 2);
    QCOMPARE(running.last().at(0).toBool(), false);
    QCOMPARE(list.Cell(1, CommandColumn::Reply), QString("4000"));
    QCOMPARE(list.Cell(2, CommandColumn::Reply), QString());
    QCOMPARE(list.Cell(3, CommandColumn::Reply), QString("No response!"));
    QCOMPARE(list.Cell(4, CommandColumn::Reply), QString("4000"));
    QCOMPARE(sim.ReceivedFrames().size(), std::size_t(3));

    // a selected row without a command stops the run, with its reason
    list.Add(true, "");
    QSignalSpy refused(&run, &SequenceRun::Refused);
    run.Start();
    QTRY_VERIFY_WITH_TIMEOUT(refused.count() == 1, 20000);
    QCOMPARE(refused.at(0).at(0).toString(), QString("Selected checkbox is empty! Please input data!"));
    QVERIFY(!run.Running());
    engine.Timer->stop();
  }
};

QTEST_GUILESS_MAIN(TestSequenceRun)
#include "test_sequence_run.moc"
