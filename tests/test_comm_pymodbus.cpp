// An independent Modbus peer: Debian's pymodbus serves holding registers on
// one end of a pseudo-terminal pair; the program, on the other end, reads and
// writes them in ASCII and in RTU and must accept every reply.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "serial/TComm.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"
#include "tests/support/EngineStateAccess.h"

#include <QComboBox>
#include <QFileInfo>
#include <QProcess>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <memory>

namespace {
// Registers 0..31 hold 0x0100 + their number; unit 1 only.
const char *const ServerScript = R"(
import sys
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer
from pymodbus.datastore import ModbusSequentialDataBlock, ModbusSlaveContext, ModbusServerContext
block = ModbusSequentialDataBlock(0, [0x0100 + i for i in range(32)])
slave = ModbusSlaveContext(hr=block, zero_mode=True)
context = ModbusServerContext(slaves={1: slave}, single=False)
framer = ModbusAsciiFramer if sys.argv[2] == "ascii" else ModbusRtuFramer
StartSerialServer(context=context, framer=framer, port=sys.argv[1], baudrate=9600)
)";

QColor LineColor(int line) {
  const QTextBlock block = Form1->SendRevHistory->document()->findBlockByNumber(line);
  return block.begin().fragment().charFormat().foreground().color();
}
QString LastLine() { return Form1->HistoryLine(Form1->HistoryLineCount() - 1); }
} // namespace

class TestCommPymodbus : public QObject {
  Q_OBJECT

  SimulatedRig rig_;

  // Sends one request as the user's own command and runs ticks until its
  // exchange is over; true when the reply was accepted.
  bool Exchange(const std::string &body) {
    CommState &s = EngineStateAccess::Of(*Form1->Engine);
    const int errors = s.ErrorRecords;
    const int timeouts = s.TimeoutRecords;
    s.UserCmdAwaitingReply = true; // logged only: no parameter table behind it
    Form1->SendFrame(body);
    int ticks = 0;
    while ((s.WaitingReply || !s.ReceiveBuffer.empty()) && ticks++ < 10000) {
      QTest::qWait(Form1->State.TickMs); // ticks at their real pace
      Form1->UpcSendTimer();
    }
    s.UserCmdAwaitingReply = false;
    return s.ErrorRecords == errors && s.TimeoutRecords == timeouts;
  }

  void Serve(bool rtu) {
    const QString a = rig_.folder.filePath(rtu ? "rtuA" : "asciiA");
    const QString b = rig_.folder.filePath(rtu ? "rtuB" : "asciiB");
    QProcess socat;
    socat.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b});
    QVERIFY(socat.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(a) && QFileInfo::exists(b), 20000);

    QProcess server;
    // ended on every way out of this function, also when a check fails
    const std::unique_ptr<QProcess, void (*)(QProcess *)> serverGuard(&server, [](QProcess *p) {
      p->kill();
      p->waitForFinished(5000);
    });
    const std::unique_ptr<QProcess, void (*)(QProcess *)> socatGuard(&socat, [](QProcess *p) {
      p->kill();
      p->waitForFinished(5000);
    });
    server.setProcessChannelMode(QProcess::ForwardedChannels);
    server.start("/usr/bin/python3", {"-c", ServerScript, b, rtu ? "rtu" : "ascii"});
    QVERIFY(server.waitForStarted(10000));

    if (!rig_.LinkPort(QFileInfo(a).symLinkTarget(), "COM3"))
      return;
    rig_.ChoosePort(rtu, "COM3");
    ProtocolSet->UserBaud->setCurrentIndex(3);
    if (!rig_.ApplyPort())
      return;
    Form1->TimeoutMs = 300;
    Form1->clear1Click();

    // the server needs a moment to open its end: ask until it answers
    bool answered = false;
    for (int attempt = 0; attempt < 40 && !answered; ++attempt)
      answered = Exchange("010300000001");
    QVERIFY2(answered, qPrintable(LastLine()));
    Form1->clear1Click();

    // read two holding registers
    QVERIFY2(Exchange("010300040002"), qPrintable(LastLine()));
    QCOMPARE(Form1->State.ReplyBytes[2], std::uint8_t(4));
    QCOMPARE(Form1->State.ReplyBytes[3], std::uint8_t(0x01));
    QCOMPARE(Form1->State.ReplyBytes[4], std::uint8_t(0x04));
    QCOMPARE(Form1->State.ReplyBytes[6], std::uint8_t(0x05));
    QCOMPARE(LineColor(0), ColorFromBgr(0));
    QVERIFY(LastLine().contains("  ----- R >   "));

    // write one register, then read it back
    QVERIFY2(Exchange("010600051234"), qPrintable(LastLine()));
    QVERIFY2(Exchange("010300050001"), qPrintable(LastLine()));
    QCOMPARE(Form1->State.ReplyBytes[3], std::uint8_t(0x12));
    QCOMPARE(Form1->State.ReplyBytes[4], std::uint8_t(0x34));
    for (int line = 0; line < 3; ++line)
      QCOMPARE(LineColor(line), ColorFromBgr(0));
    QCOMPARE(Form1->State.ErrorRecords, 0);
    QCOMPARE(Form1->State.TimeoutRecords, 0);

    Form1->Comm1->ClosePort();
  }

private slots:
  void initTestCase() { rig_.CreateWindows(); }

  void asciiPeer() { Serve(false); }
  void rtuPeer() { Serve(true); }
};

VDD_TEST_MAIN(TestCommPymodbus)
#include "test_comm_pymodbus.moc"
