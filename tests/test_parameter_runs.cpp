// The parameter runs without the main window: a bare engine on a simulated
// drive behind a pseudo-terminal, the delivered RM40 table in a scratch
// folder, and what the runs signal. Also the two decisions the windows rely
// on: which parameters the comparison takes as read-only, and when the grid
// follows a moving record.
#include "exchange/ExchangeEngine.h"
#include "params/DecimalScaling.h"
#include "params/PacedFollow.h"
#include "params/ParameterCodes.h"
#include "params/ParameterCompare.h"
#include "serial/TComm.h"
#include "session/FunctionTable.h"
#include "session/ParameterRuns.h"
#include "settings/ShippedTables.h"
#include "sim/DriveSimulator.h"
#include "tests/support/EngineStateAccess.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
constexpr int kRunMs = 120000;

std::uint16_t RegisterOf(const QString &shortCode) {
  return static_cast<std::uint16_t>(std::stoi(ParameterRegister(shortCode.toStdString()), nullptr, 16));
}
} // namespace

class TestParameterRuns : public QObject {
  Q_OBJECT

  QTemporaryDir scratch_;
  std::unique_ptr<DriveSimulator> sim_;
  TComm port_;
  std::unique_ptr<TExchangeEngine> engine_;
  std::unique_ptr<FunctionTable> table_;
  std::unique_ptr<ParameterRuns> runs_;
  std::string dropBody_; // the first reply to this request is lost on its way in
  bool dropping_ = false;

  // Runs read all or write all from its start to its end: the message it ended with.
  QString Run(const std::function<void()> &start) {
    QSignalSpy ended(runs_.get(), &ParameterRuns::RunEnded);
    start();
    if (!QTest::qWaitFor([&] { return ended.count() > 0; }, kRunMs))
      return "did not end";
    return ended.takeFirst().at(1).toString();
  }

  // The value the drive holds for the current record, as the table writes it.
  QString DriveValue() const {
    const QString shortCode = table_->ShortCode();
    const auto raw = sim_->Parameter(1, RegisterOf(shortCode));
    return raw ? QString::fromStdString(
                     DecimalScaling::FormatRegisterValue(*raw, DecimalPlaces(shortCode.toStdString()), "."))
               : QString("<none>");
  }

private slots:
  void initTestCase() {
    QVERIFY(scratch_.isValid());
    QVERIFY(CreateRm40Table(scratch_.path().toStdString() + "/"));
    table_ = std::make_unique<FunctionTable>();
    table_->Load(scratch_.path() + "/", "RM40.DBF", true);
    QVERIFY(table_->RecordCount() > 200);

    SimOptions options;
    options.baud = 38400;
    sim_ = std::make_unique<DriveSimulator>(options);
    QVERIFY(sim_->Start());
    int n = 0;
    for (int record = 0; record < table_->RecordCount(); ++record) {
      table_->MoveTo(record);
      if (table_->Text("NAME") != "Reserved")
        sim_->SetParameter(1, RegisterOf(table_->ShortCode()),
                           static_cast<std::uint16_t>(1 + (n++ * 37) % 3000));
    }

    port_.SetCommName(QString::fromStdString(sim_->SlavePath()));
    port_.SetByteSize(TByteSize::_7);
    port_.SetBaudRate(38400);
    engine_ = std::make_unique<TExchangeEngine>();
    engine_->SetPort(&port_);
    engine_->SetCompleteOnReply(true);
    port_.OpenPort();
    QVERIFY(port_.PortOpen());
    port_.OnReceiveData = [this](TComm *, const char *buffer, std::uint16_t length) {
      if (!dropping_)
        engine_->ReceiveData(buffer, length);
    };
    connect(engine_.get(), &TExchangeEngine::ExchangeStarted, this, [this](const ExchangeRecord &record) {
      dropping_ = !dropBody_.empty() && record.requestBody == dropBody_;
    });
    connect(engine_.get(), &TExchangeEngine::ExchangeEnded, this, [this](const ExchangeRecord &) {
      if (dropping_)
        dropBody_.clear();
      dropping_ = false;
    });
    runs_ = std::make_unique<ParameterRuns>(*engine_, *table_);
    engine_->SetSteps(runs_.get());
    EngineStateAccess::Of(*engine_).TickMs = 10;
    // replies are judged when complete: a long window costs only the
    // dropped replies, and holds on a busy machine
    engine_->TimeoutMs = 500;
    engine_->Timer->start(10);
  }

  void cleanupTestCase() {
    engine_->Timer->stop();
    engine_->SetSteps(nullptr);
    runs_.reset();
    port_.ClosePort();
  }

  // One drive answering: every value lands in its record, and the run ends
  // with its message.
  void readAllStoresEveryValue() {
    QSignalSpy running(runs_.get(), &ParameterRuns::RunningChanged);
    const QString ending = Run([this] { runs_->StartReadAll(); });
    QCOMPARE(ending.section('\n', 0, 0), QString("Have finished reading all codes!"));
    QCOMPARE(running.count(), 2);
    QCOMPARE(running.at(1).at(1).toBool(), false);
    QCOMPARE(runs_->Active(), ParameterRuns::Run::None);
    for (int record = 0; record < table_->RecordCount(); ++record) {
      table_->MoveTo(record);
      if (table_->Text("NAME") != "Reserved")
        QCOMPARE(table_->Text("NOWDATA"), DriveValue());
    }
  }

  // Write all with verification to a drive that clamps F113: its record is
  // reported. A read back that got no answer is asked again unless
  // "Continue when communication errors happen" is ticked.
  void verifiedWriteAllReportsWhatTheDriveHolds() {
    QVERIFY(sim_->LimitParameter(1, RegisterOf("113"), 4000)); // holds at most 40.00
    table_->MoveTo(table_->FindCode("F113", -1));
    table_->StoreValues("45.00", QString());
    const std::string readF117 = "01030111"
                                 "0001";
    int asked = 0;
    const auto counting =
        connect(engine_.get(), &TExchangeEngine::ExchangeStarted, this,
                [&](const ExchangeRecord &record) { asked += record.requestBody == readF117; });
    for (const bool continueOnErrors : {false, true}) {
      runs_->SetContinueOnErrors(continueOnErrors);
      asked = 0;
      dropBody_ = readF117;
      const QStringList report = Run([this] { runs_->StartWriteAll(true); }).split('\n');
      QCOMPARE(report.value(0), QString("Have finished writing all codes!"));
      QVERIFY2(report.contains("F113: written 45.00, the drive holds 40.00"), qPrintable(report.join('|')));
      QVERIFY(dropBody_.empty()); // the reply was lost indeed
      if (continueOnErrors) {
        QCOMPARE(asked, 1);
        QVERIFY2(report.contains("Not read back: F117"), qPrintable(report.join('|')));
      } else {
        QCOMPARE(asked, 2);
        QCOMPARE(runs_->WriteCheck().VerifiedCount(), runs_->WriteCheck().WrittenCount() - 1);
      }
    }
    disconnect(counting);
    // the table keeps what was meant to be written
    table_->MoveTo(table_->FindCode("F113", -1));
    QCOMPARE(table_->Text("NOWDATA"), QString("45.00"));
  }

  // A range limit of "--" on either side makes a parameter read-only.
  void compareTakesEitherDashAsReadOnly() {
    using ParameterCompare::Kind;
    const std::vector<ParameterCompare::Record> records{{"F001", "a", "--", "10", "1", "2"},
                                                        {"F002", "b", "0", "--", "1", "2"},
                                                        {"F003", "c", "0", "10", "1", "2"}};
    const auto rows = ParameterCompare::WithDefaults(
        records, [](const QString &) { return 0; }, ".");
    QCOMPARE(rows.at(0).kind, Kind::ReadOnly);
    QCOMPARE(rows.at(1).kind, Kind::ReadOnly);
    QCOMPARE(rows.at(2).kind, Kind::Differs);
  }

  // Paced, the grid follows a record that keeps moving at its own pace:
  // moves while a follow waits neither put it off nor follow at once.
  void pacedFollowTakesMovesWhileItWaits() {
    PacedFollow follow;
    QSignalSpy followed(&follow, &PacedFollow::Follow);
    bool pacing = false;
    follow.PaceWhile([&] { return pacing; }, 100);
    follow.Moved();
    QCOMPARE(followed.count(), 1); // at once while not paced
    pacing = true;
    follow.Moved();
    QCOMPARE(followed.count(), 1); // waits
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000) { // a move every 10 ms, one follow every 100 ms
      follow.Moved();
      QTest::qWait(10);
    }
    QVERIFY2(followed.count() >= 4, qPrintable(QString::number(followed.count())));
  }
};

QTEST_GUILESS_MAIN(TestParameterRuns)
#include "test_parameter_runs.moc"
