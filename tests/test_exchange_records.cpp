// The engine on its own, on a simulated drive behind a pseudo-terminal: each
// exchange is told as a record with its outcome, reply and values, in RTU
// and ASCII, judged at the window's end and as soon as complete.
#include "support/EngineOnSimulator.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(ExchangeRecord)

class TestExchangeRecords : public QObject {
  Q_OBJECT

  // The user's command `body` through the engine, to its end.
  static ExchangeRecord Exchange(TExchangeEngine &engine, const std::string &body, int *started) {
    QSignalSpy startedSpy(&engine, &TExchangeEngine::ExchangeStarted);
    QSignalSpy endedSpy(&engine, &TExchangeEngine::ExchangeEnded);
    engine.QueueUserCommand(body);
    if (!QTest::qWaitFor([&] { return endedSpy.count() > 0; }, 10000))
      return {};
    *started = startedSpy.count();
    return endedSpy.takeFirst().at(0).value<ExchangeRecord>();
  }

private slots:
  void initTestCase() { qRegisterMetaType<ExchangeRecord>(); }

  void everyEndingIsARecord() {
    using Outcome = ExchangeRecord::Outcome;
    for (const bool rtu : {true, false}) {
      for (const bool completeOnReply : {false, true}) {
        SimOptions options;
        options.rtu = rtu;
        options.drives = {1, 2};
        DriveSimulator sim(options);
        QVERIFY(sim.Start());
        QVERIFY(sim.SetParameter(2, 0x010D, 1234));
        QVERIFY(sim.SetParameter(2, 0x010E, 55));

        EngineOnSimulator line;
        QVERIFY(line.Open(sim, rtu, completeOnReply));
        TExchangeEngine &engine = line.engine;
        TComm &port = line.port;
        engine.TimeoutMs = 200;
        engine.Timer->start(10);

        int started = 0;
        // a read: its register and words, the reply's bytes, how long it took
        ExchangeRecord read = Exchange(engine, "0203010D0002", &started);
        QCOMPARE(read.outcome, Outcome::Accepted);
        QCOMPARE(started, 1);
        QVERIFY(read.awaited);
        QCOMPARE(read.address, 2);
        QCOMPARE(read.registerAddress, 0x010D);
        QCOMPARE(read.values, (std::vector<std::uint16_t>{1234, 55}));
        QCOMPARE(read.replyBytes.at(2), std::uint8_t(4));
        QVERIFY(read.roundTripMs >= 0 && read.roundTripMs < 1000);
        QVERIFY(read.userCommand);
        QCOMPARE(read.rtu, rtu);

        // a write: the register and the value the drive repeats
        const ExchangeRecord write = Exchange(engine, "0206010D0007", &started);
        QCOMPARE(write.outcome, Outcome::Accepted);
        QCOMPARE(write.registerAddress, 0x010D);
        QCOMPARE(write.values, std::vector<std::uint16_t>{7});

        // a wrong checksum: refused, for its reason, with no values
        sim.SetLineFaults({.corruptProbability = 1});
        const ExchangeRecord corrupt = Exchange(engine, "0203010D0001", &started);
        QCOMPARE(corrupt.outcome, Outcome::ErrorReply);
        QCOMPARE(corrupt.rejection.kind, ReplyRejection::Kind::Checksum);
        QVERIFY(corrupt.values.empty());
        QVERIFY(!corrupt.replyText.isEmpty());

        // a reply whose length only its byte count tells, handed over in
        // packets 16 ms apart as a USB adapter does: one reply, taken whole
        sim.SetLineFaults({.splitPieces = 3, .splitGapMs = 16});
        const ExchangeRecord report = Exchange(engine, "0211", &started);
        QCOMPARE(report.outcome, Outcome::Accepted);
        QCOMPARE(report.replyBytes.size(), rtu ? std::size_t(17) : std::size_t(16));

        // no drive 9: no response, no reply
        sim.SetLineFaults({});
        const ExchangeRecord missing = Exchange(engine, "0903010D0001", &started);
        QCOMPARE(missing.outcome, Outcome::NoResponse);
        QVERIFY(missing.replyText.isEmpty());
        QCOMPARE(missing.roundTripMs, -1.0);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.State.QuietWindowPending, 10000);

        // a broadcast ends as it goes out, awaiting nothing
        const ExchangeRecord broadcast = Exchange(engine, "000620000001", &started);
        QCOMPARE(broadcast.outcome, Outcome::Broadcast);
        QCOMPARE(started, 0);
        QVERIFY(!broadcast.awaited);

        // a closed port: not sent, with its reason
        port.ClosePort();
        const ExchangeRecord refused = Exchange(engine, "0203010D0001", &started);
        QCOMPARE(refused.outcome, Outcome::NotSent);
        QCOMPARE(refused.notSentReason, QString("port closed"));
        QCOMPARE(refused.requestBody, std::string("0203010D0001"));
        engine.Timer->stop();
      }
    }
  }
};

QTEST_GUILESS_MAIN(TestExchangeRecords)
#include "test_exchange_records.moc"
