// Which reply is whose, on the bare engine and the simulator: a line that
// sends each reply twice, a drive still answering after what was refused, an
// adapter that hands each request back. Whatever the gap and the framing, a
// value is taken only from the request's own reply.
#include "support/EngineOnSimulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <map>
#include <mutex>

Q_DECLARE_METATYPE(ExchangeRecord)

namespace {
using Outcome = ExchangeRecord::Outcome;

// F113 to F120; two of them hold the same value, so that a copy of the one
// reply is also the other's answer.
const std::map<std::uint16_t, std::uint16_t> Values{{0x010D, 1301}, {0x010E, 1402}, {0x010F, 1503},
                                                    {0x0110, 777},  {0x0111, 777},  {0x0112, 1806},
                                                    {0x0113, 1907}, {0x0114, 2008}};

std::string Hex4(unsigned value) {
  char text[5];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
  return text;
}

std::string Read(int address, std::uint16_t reg) {
  return "0" + std::to_string(address) + "03" + Hex4(reg) + "0001";
}

std::string Write(int address, std::uint16_t reg, std::uint16_t value) {
  return "0" + std::to_string(address) + "06" + Hex4(reg) + Hex4(value);
}

// The user's command `body`, to the end of its own exchange.
ExchangeRecord Exchange(TExchangeEngine &engine, const std::string &body) {
  ExchangeRecord ended;
  bool done = false;
  const auto connection =
      QObject::connect(&engine, &TExchangeEngine::ExchangeEnded, [&](const ExchangeRecord &record) {
        if (record.awaited || record.outcome == Outcome::NotSent) {
          ended = record;
          done = true;
        }
      });
  engine.QueueUserCommand(body);
  if (!QTest::qWaitFor([&] { return done; }, 20000))
    ended.outcome = Outcome::Awaiting; // never ended
  QObject::disconnect(connection);
  return ended;
}

SimOptions Line(bool rtu, LineFaults faults = {}, int latencyMs = 0) {
  SimOptions options;
  options.rtu = rtu;
  options.faults = faults;
  options.latencyMs = latencyMs;
  return options;
}

// The simulator holding Values, and the bare engine on it with its ticks running.
struct SimulatedLine {
  DriveSimulator sim;
  EngineOnSimulator line;
  TExchangeEngine &engine = line.engine;

  explicit SimulatedLine(const SimOptions &options) : sim(options) {}
  ~SimulatedLine() { engine.Timer->stop(); }
  bool Start(bool rtu, bool completeOnReply, std::uint32_t baud = 38400) {
    if (!sim.Start())
      return false;
    for (const auto &[reg, value] : Values)
      if (!sim.SetParameter(1, reg, value))
        return false;
    if (!line.Open(sim, rtu, completeOnReply, baud))
      return false;
    engine.Timer->start(10);
    return true;
  }
};

struct Tally {
  QStringList wrong; // values taken that are not the register's
  int taken = 0;
  int refused = 0;
};

// Reads every register, each asked up to four times as the runs ask a
// failed record again.
Tally ReadEach(TExchangeEngine &engine, int address, const std::map<std::uint16_t, std::uint16_t> &expected) {
  Tally tally;
  for (const auto &[reg, value] : expected) {
    for (int attempt = 0; attempt < 4; ++attempt) {
      const ExchangeRecord record = Exchange(engine, Read(address, reg));
      if (record.outcome != Outcome::Accepted) {
        ++tally.refused;
        continue;
      }
      ++tally.taken;
      if (record.values != std::vector<std::uint16_t>{value})
        tally.wrong
            << QStringLiteral("%1=%2").arg(reg, 0, 16).arg(record.values.empty() ? -1 : record.values[0]);
      break;
    }
  }
  return tally;
}
} // namespace

class TestReplyOwnership : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { qRegisterMetaType<ExchangeRecord>(); }

  // Each reply comes again 1 to 50 ms later, in RTU and ASCII, read and
  // written, judged as soon as complete and at the window's end.
  void repeatedRepliesPassForNoOtherRequest() {
    for (const bool rtu : {true, false}) {
      for (const int gapMs : {1, 3, 5, 10, 20, 35, 50}) {
        for (const bool completeOnReply : {true, false}) {
          if (!completeOnReply && gapMs != 5 && gapMs != 50)
            continue; // the window holds every copy: two gaps tell it
          const QString cell = QStringLiteral("%1, copy after %2 ms, %3")
                                   .arg(rtu ? "RTU" : "ASCII")
                                   .arg(gapMs)
                                   .arg(completeOnReply ? "complete on reply" : "window");
          SimulatedLine line(Line(rtu, {.twiceGapMs = gapMs}));
          QVERIFY(line.Start(rtu, completeOnReply));
          TExchangeEngine &engine = line.engine;
          DriveSimulator &sim = line.sim;
          QSignalSpy repeats(&engine, &TExchangeEngine::RepeatsFound);

          const Tally read = ReadEach(engine, 1, Values);
          QVERIFY2(read.wrong.isEmpty(), qPrintable(cell + ": " + read.wrong.join(' ')));
          QVERIFY2(read.taken == int(Values.size()), qPrintable(cell));

          // writes: each confirmation is the request's own, and the drive holds it
          std::map<std::uint16_t, std::uint16_t> written;
          for (const auto &[reg, value] : Values) {
            if (reg > 0x0112)
              break; // F119 on have ranges of their own
            const std::uint16_t next = value + 11;
            for (int attempt = 0; attempt < 4; ++attempt) {
              const ExchangeRecord record = Exchange(engine, Write(1, reg, next));
              if (record.outcome == Outcome::Accepted) {
                QCOMPARE(record.registerAddress, int(reg));
                QCOMPARE(record.values, std::vector<std::uint16_t>{next});
                written[reg] = next;
                break;
              }
            }
            QVERIFY2(
                sim.Parameter(1, reg) == next,
                qPrintable(
                    cell +
                    QStringLiteral(" F%1 holds %2").arg(reg, 0, 16).arg(sim.Parameter(1, reg).value_or(0))));
          }
          QCOMPARE(written.size(), std::size_t(6));
          const Tally reread = ReadEach(engine, 1, written);
          QVERIFY2(reread.wrong.isEmpty(), qPrintable(cell + ": " + reread.wrong.join(' ')));

          if (completeOnReply) {
            // learnt, and said
            QVERIFY2(repeats.count() >= 1, qPrintable(cell));
            QVERIFY2(engine.Repeats().Known(), qPrintable(cell));
          }
        }
      }
    }
  }

  // The adapter hands each request back and is not said to: the echo is
  // refused, and the drive's own answer 5 to 30 ms later must not pass for
  // the next request's. Told to detect the echo, the same line reads right.
  void answerAfterARefusalIsNobodys() {
    for (const bool rtu : {true, false}) {
      for (const int latencyMs : {5, 20, 30}) {
        const QString cell = QStringLiteral("%1, drive answers %2 ms after the echo")
                                 .arg(rtu ? "RTU" : "ASCII")
                                 .arg(latencyMs);
        SimulatedLine line(Line(rtu, {.echo = true}, latencyMs));
        QVERIFY(line.Start(rtu, true));
        TExchangeEngine &engine = line.engine;

        const Tally off = ReadEach(engine, 1, Values);
        QVERIFY2(off.wrong.isEmpty(), qPrintable(cell + ": " + off.wrong.join(' ')));

        engine.SetEchoMode(LineEcho::Mode::Detect);
        const Tally detect = ReadEach(engine, 1, Values);
        QVERIFY2(detect.wrong.isEmpty(), qPrintable(cell + ": " + detect.wrong.join(' ')));
        QVERIFY2(detect.taken == int(Values.size()), qPrintable(cell));
      }
    }
  }

  // No write is confirmed by its own echo: on a line whose echo is not
  // known, a read of the drive learns it first. "on" where the line does
  // not echo says so and takes the drive's confirmation.
  void writeIsNeverConfirmedByItsEcho() {
    struct Case {
      bool lineEchoes;
      LineEcho::Mode mode;
      int address; // 5: nobody there
      Outcome expected;
    };
    const Case cases[] = {
        {true, LineEcho::Mode::Detect, 5, Outcome::NoResponse},
        {true, LineEcho::Mode::Detect, 1, Outcome::Accepted},
        {false, LineEcho::Mode::Detect, 1, Outcome::Accepted},
        {false, LineEcho::Mode::On, 1, Outcome::Accepted},
        {false, LineEcho::Mode::On, 5, Outcome::NoResponse},
    };
    for (const bool rtu : {true, false}) {
      for (const Case &c : cases) {
        const QString cell =
            QStringLiteral("%1, line %2, echo %3, drive %4")
                .arg(rtu ? "RTU" : "ASCII", c.lineEchoes ? "echoes" : "silent", LineEchoWord(c.mode))
                .arg(c.address);
        SimulatedLine line(Line(rtu, {.echo = c.lineEchoes}));
        QVERIFY(line.Start(rtu, true));
        TExchangeEngine &engine = line.engine;
        DriveSimulator &sim = line.sim;
        engine.SetEchoMode(c.mode);
        QSignalSpy missing(&engine, &TExchangeEngine::EchoMissing);
        // a control command and a parameter write, each the first on the line
        for (const std::string &body : {Write(c.address, 0x2000, 0x0001), Write(c.address, 0x010D, 4321)}) {
          const ExchangeRecord record = Exchange(engine, body);
          QVERIFY2(record.outcome == c.expected, qPrintable(cell + " " + QString::fromStdString(body)));
          QCOMPARE(record.requestBody, body);
          QVERIFY(record.userCommand);
          engine.ForgetLine(); // the next write is again the first
        }
        if (c.address == 1)
          QCOMPARE(sim.Parameter(1, 0x010D), std::optional<std::uint16_t>(4321));
        QCOMPARE(missing.count() > 0, !c.lineEchoes && c.mode == LineEcho::Mode::On);
      }
    }
  }

  // A drive grows later while it is read (300 ms, then 370 ms, with a
  // 100 ms window), each register asked once: the quiet after each time-out
  // keeps a margin, so its answer is logged late and never taken for the
  // next register's.
  void aDriveGrowingLaterGivesNoOtherValue() {
    SimulatedLine line(Line(true, {.lateMs = 300}));
    QVERIFY(line.Start(true, true));
    line.engine.TimeoutMs = 100;
    QStringList wrong;
    for (const int lateMs : {300, 370}) {
      line.sim.SetLineFaults({.lateMs = lateMs});
      for (const auto &[reg, value] : Values) {
        const ExchangeRecord record = Exchange(line.engine, Read(1, reg));
        if (record.outcome == Outcome::Accepted && record.values != std::vector<std::uint16_t>{value})
          wrong << QStringLiteral("%1 ms: %2=%3").arg(lateMs).arg(reg, 0, 16).arg(record.values.at(0));
      }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(' ')));
    QVERIFY(line.engine.State.LateReplies > 0);
  }

  // Before each request the line is silent 3.5 characters at its own pace:
  // 29 ms at 1200 baud. Measured where the drive hears it, from its reply's
  // end (logged a character after its last byte went out) to the next request.
  void requestsKeepTheLinesSilence() {
    QElapsedTimer clock;
    clock.start();
    std::mutex mutex;
    std::vector<std::pair<char, double>> seen; // 'T' reply sent, 'R' request heard
    SimOptions options = Line(false);
    options.baud = 1200;
    options.log = [&](const std::string &text) {
      const std::lock_guard lock(mutex);
      seen.emplace_back(text[0], clock.nsecsElapsed() / 1e6);
    };
    SimulatedLine line(options);
    QVERIFY(line.Start(false, true, 1200));
    line.engine.TimeoutMs = 2000;
    for (const std::uint16_t reg : {0x010D, 0x010E, 0x010F})
      QCOMPARE(Exchange(line.engine, Read(1, reg)).outcome, Outcome::Accepted);
    const std::lock_guard lock(mutex);
    int gaps = 0;
    for (std::size_t i = 1; i < seen.size(); ++i) {
      if (seen[i - 1].first != 'T' || seen[i].first != 'R')
        continue;
      ++gaps;
      QVERIFY2(seen[i].second - seen[i - 1].second >= 20,
               qPrintable(QString::number(seen[i].second - seen[i - 1].second)));
    }
    QCOMPARE(gaps, 2);
  }

  // Over Modbus TCP the transaction id tells a late reply: no quiet after a
  // time-out; a frame with another id is named by it.
  void tcpRepliesAreToldByTheirId() {
    SimOptions options;
    options.tcpPort = 0;
    options.modbusTcp = true;
    DriveSimulator sim(options);
    QVERIFY(sim.Start());
    EngineOnSimulator line;
    line.port.SetCommName(QString::fromStdString(sim.SlavePath()));
    line.engine.SetPort(&line.port);
    line.engine.SetTcpFraming(true);
    line.engine.SetCompleteOnReply(true);
    line.port.OpenPort();
    QVERIFY(line.port.PortOpen());
    line.port.OnReceiveData = [&line](TComm *, const char *buffer, std::uint16_t length) {
      line.engine.ReceiveData(buffer, length);
    };
    TExchangeEngine &engine = line.engine;
    engine.SetTickMs(10);
    engine.TimeoutMs = 100;
    engine.Timer->start(10);

    QCOMPARE(Exchange(engine, Read(7, 0x010D)).outcome, Outcome::NoResponse);
    QVERIFY(!engine.State.QuietWindowPending);
    QCOMPARE(Exchange(engine, Read(1, 0x010D)).outcome, Outcome::Accepted);
    engine.Timer->stop();
  }
};

QTEST_GUILESS_MAIN(TestReplyOwnership)
#include "test_reply_ownership.moc"
