// The serial port component on a transparent serial server ("tcp:HOST:PORT"):
// against the drive simulator serving over TCP, whose replies must be the
// very bytes it gives on a pseudo-terminal, and against Debian's pymodbus
// serving Modbus serial frames over TCP.

#include "serial/TComm.h"
#include "sim/ModbusFraming.h"
#include "support/LoopbackTcp.h"

#include <QProcess>
#include <QTest>

#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kLongWaitMs = 60000;

using Body = std::vector<std::uint8_t>;

QByteArray Frame(FrameMode mode, const Body &body) {
  const std::vector<std::uint8_t> bytes = EncodeFrame(mode, body);
  return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

void AddModeRows() {
  QTest::addColumn<bool>("rtu");
  QTest::newRow("ASCII") << false;
  QTest::newRow("RTU") << true;
}

// A process that is ended on every way out of a test, also when a check fails.
struct Peer {
  std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
  ~Peer() { Stop(); }
  void Stop() {
    process->terminate();
    if (!process->waitForFinished(5000)) {
      process->kill();
      process->waitForFinished(5000);
    }
  }
};

// Starts the drive simulator and returns the port name it prints.
QString StartSimulator(Peer &sim, const QStringList &arguments) {
  sim.process->start(qEnvironmentVariable("VDD_BUILD_DIR") + "/vossek-drive-sim",
                     QStringList{"--quiet", "--drives", "1-2"} + arguments);
  if (!sim.process->waitForStarted(10000) || !sim.process->waitForReadyRead(10000))
    return {};
  return QString::fromLocal8Bit(sim.process->readLine()).trimmed();
}

// The component with everything it reports collected.
struct Port {
  TComm comm;
  QByteArray received;
  int hangups = 0;

  Port() {
    comm.OnReceiveData = [this](TComm *, const char *buffer, std::uint16_t length) {
      received.append(buffer, length);
    };
    comm.OnRequestHangup = [this](TComm *) { ++hangups; };
  }

  bool Open(const QString &name) {
    comm.SetCommName(name);
    comm.OpenPort();
    return comm.PortOpen();
  }

  // Sends a request and returns the reply: what arrived until the line has
  // been quiet for a moment after its first byte.
  QByteArray Exchange(const QByteArray &request) {
    received.clear();
    if (!comm.WriteData(request.constData(), static_cast<std::uint16_t>(request.size())))
      return {};
    if (!QTest::qWaitFor([this] { return !received.isEmpty(); }, 5000))
      return {};
    for (qsizetype seen = -1; seen != received.size();) {
      seen = received.size();
      QTest::qWait(150);
    }
    return received;
  }
};
} // namespace

class TestTcpSerialServer : public QObject {
  Q_OBJECT

private slots:
  void simulatorGivesTheSameBytesOverTcpAsOnAPty_data();
  void simulatorGivesTheSameBytesOverTcpAsOnAPty();
  void pymodbusServesOverTcp_data();
  void pymodbusServesOverTcp();
  void refusedConnectAndDroppedConnection();
};

void TestTcpSerialServer::simulatorGivesTheSameBytesOverTcpAsOnAPty_data() { AddModeRows(); }

void TestTcpSerialServer::simulatorGivesTheSameBytesOverTcpAsOnAPty() {
  QFETCH(bool, rtu);
  const FrameMode mode = rtu ? FrameMode::Rtu : FrameMode::Ascii;
  const QString modeName = rtu ? "rtu" : "ascii";
  // Read F113, set it to 2550, read it back, read drive 2's status block,
  // set F113 out of range (exception 03).
  const QList<Body> requests = {{1, 0x03, 0x01, 0x0D, 0x00, 0x01},
                                {1, 0x06, 0x01, 0x0D, 0x09, 0xF6},
                                {1, 0x03, 0x01, 0x0D, 0x00, 0x01},
                                {2, 0x03, 0x10, 0x00, 0x00, 0x06},
                                {1, 0x06, 0x01, 0x0D, 0x9C, 0x41}};

  QList<QByteArray> replies[2];
  for (const bool overTcp : {false, true}) {
    Peer sim;
    const QString name = StartSimulator(sim, overTcp ? QStringList{"--mode", modeName, "--tcp", "0"}
                                                     : QStringList{"--mode", modeName});
    QVERIFY2(name.startsWith(overTcp ? "tcp:127.0.0.1:" : "/dev/"), qPrintable(name));
    Port port;
    QVERIFY2(port.Open(name), qPrintable(port.comm.PortOpenReason()));
    QCOMPARE(port.comm.LineSettingsApply(), !overTcp);
    for (const Body &request : requests)
      replies[overTcp].append(port.Exchange(Frame(mode, request)));
    QCOMPARE(port.hangups, 0);
  }
  QCOMPARE(replies[1], replies[0]);
  QCOMPARE(replies[1][0], Frame(mode, {1, 0x03, 0x02, 0x13, 0x88}));
  QCOMPARE(replies[1][1], Frame(mode, requests[1]));
  QCOMPARE(replies[1][2], Frame(mode, {1, 0x03, 0x02, 0x09, 0xF6}));
  QCOMPARE(replies[1][4], Frame(mode, {1, 0x86, 0x03}));
}

void TestTcpSerialServer::pymodbusServesOverTcp_data() { AddModeRows(); }

void TestTcpSerialServer::pymodbusServesOverTcp() {
  QFETCH(bool, rtu);
  const FrameMode mode = rtu ? FrameMode::Rtu : FrameMode::Ascii;
  // Registers 0..31 hold 0x0100 + their number; unit 1 only.
  const char *const script = R"(
import sys
from pymodbus.server import StartTcpServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer
from pymodbus.datastore import ModbusSequentialDataBlock, ModbusSlaveContext, ModbusServerContext
block = ModbusSequentialDataBlock(0, [0x0100 + i for i in range(32)])
context = ModbusServerContext(slaves={1: ModbusSlaveContext(hr=block, zero_mode=True)}, single=False)
framer = ModbusAsciiFramer if sys.argv[2] == "ascii" else ModbusRtuFramer
StartTcpServer(context=context, framer=framer, address=("127.0.0.1", int(sys.argv[1])))
)";
  const int tcpPort = FreeLoopbackPort();
  Peer server;
  server.process->setProcessChannelMode(QProcess::ForwardedChannels);
  server.process->start("/usr/bin/python3", {"-c", script, QString::number(tcpPort), rtu ? "rtu" : "ascii"});
  QVERIFY(server.process->waitForStarted(10000));

  // The server needs a moment before it listens.
  Port port;
  const QString name = QString("tcp:127.0.0.1:%1").arg(tcpPort);
  QVERIFY(QTest::qWaitFor([&] { return port.Open(name); }, kLongWaitMs));
  QVERIFY(!port.comm.LineSettingsApply());

  QCOMPARE(port.Exchange(Frame(mode, {1, 0x03, 0x00, 0x04, 0x00, 0x02})),
           Frame(mode, {1, 0x03, 0x04, 0x01, 0x04, 0x01, 0x05}));
  const Body write = {1, 0x06, 0x00, 0x05, 0x12, 0x34};
  QCOMPARE(port.Exchange(Frame(mode, write)), Frame(mode, write));
  QCOMPARE(port.Exchange(Frame(mode, {1, 0x03, 0x00, 0x05, 0x00, 0x01})),
           Frame(mode, {1, 0x03, 0x02, 0x12, 0x34}));
  QCOMPARE(port.hangups, 0);
}

void TestTcpSerialServer::refusedConnectAndDroppedConnection() {
  // Nobody listens on the port: the open fails at once with the reason.
  Port refused;
  QVERIFY(!refused.Open(QString("tcp:127.0.0.1:%1").arg(FreeLoopbackPort())));
  QCOMPARE(refused.comm.PortOpenError(), QString("Error opening serial port"));
  QCOMPARE(refused.comm.PortOpenReason(), QString("Connection refused"));
  QVERIFY(!refused.Open("tcp:127.0.0.1:modbus")); // a port by name is none
  QCOMPARE(refused.comm.PortOpenReason(), QString("not a TCP serial server address (tcp:HOST:PORT)"));

  // A server that never answers (here: one whose queue of connections is
  // full, so its system drops further ones unanswered) does not hold the
  // open for longer than the time allowed.
  sockaddr_in address{};
  const int listener = BoundLoopbackSocket(address);
  QCOMPARE(listen(listener, 0), 0);
  const int waiting = socket(AF_INET, SOCK_STREAM, 0);
  QCOMPARE(::connect(waiting, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  refused.comm.SetTcpConnectTimeout(300);
  const bool opened = refused.Open(QString("tcp:127.0.0.1:%1").arg(ntohs(address.sin_port)));
  close(waiting);
  close(listener);
  QVERIFY(!opened);
  QCOMPARE(refused.comm.PortOpenReason(), QString("Connection timed out"));

  // The server goes away under an open port: a hang-up, as when an adapter
  // is pulled out, and the port closes cleanly afterwards.
  Peer sim;
  const QString name = StartSimulator(sim, {"--tcp", "0"});
  Port port;
  QVERIFY2(port.Open(name), qPrintable(port.comm.PortOpenReason()));
  QCOMPARE(port.Exchange(Frame(FrameMode::Ascii, {1, 0x03, 0x01, 0x0D, 0x00, 0x01})),
           Frame(FrameMode::Ascii, {1, 0x03, 0x02, 0x13, 0x88}));
  sim.Stop();
  QTRY_COMPARE_WITH_TIMEOUT(port.hangups, 1, kLongWaitMs);
  // Writing into the broken connection ends the writer with a hang-up of its
  // own instead of ending the program.
  const char byte = ':';
  for (int i = 0; i < 3 && port.comm.WriteData(&byte, 1); ++i)
    QTest::qWait(200);
  QTRY_COMPARE_WITH_TIMEOUT(port.hangups, 2, kLongWaitMs);
  port.comm.ClosePort();
  QVERIFY(!port.comm.PortOpen());
}

QTEST_GUILESS_MAIN(TestTcpSerialServer)
#include "test_tcp_serial_server.moc"
