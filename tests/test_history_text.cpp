// The history pane's lines and the traffic log's lines of a scan whose
// exchanges end in every way (accepted, wrong checksum, no response, a late
// reply, not sent), word for word as the user has always read them. Times
// and measured milliseconds are masked; everything else must match.
// everyEndingAsShown does so against a drive the test scripts, in ASCII, RTU
// and Modbus TCP, with refusals, an adapter's echo and data nobody asked for
// too, and compares with tests/expected/; VDD_WRITE_EXPECTED=1 writes those
// files from this build instead.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "log/TrafficLog.h"
#include "portwatch/PortKeeper.h"
#include "serial/TComm.h"
#include "support/DialogRecorder.h"
#include "support/LoopbackTcp.h"
#include "support/MenuClicks.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextEdit>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {
QString Masked(QString line) {
  static const QRegularExpression stamp(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\])");
  static const QRegularExpression logTime(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3},)");
  static const QRegularExpression roundTrip(R"(,[\d.]+$)");
  static const QRegularExpression millis(R"(\d[\d,]* ms)");
  static const QRegularExpression loopbackPort(R"(tcp:127\.0\.0\.1:\d+)");
  line.replace(stamp, "[T]");
  line.replace(logTime, "T,");
  line.replace(roundTrip, ",RTT");
  line.replace(millis, "N ms");
  line.replace(loopbackPort, "tcp:127.0.0.1:PORT");
  return line;
}

// Today's log lines of the data folder after its header.
QStringList TrafficLogLines() {
  QFile file(AppPaths::DataFolder() + "logs/" + TrafficLogWriter::FileName(QDate::currentDate()));
  if (!file.open(QIODevice::ReadOnly))
    return {};
  QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  if (!lines.isEmpty())
    lines.removeFirst();
  return lines;
}

const char *const ExpectedAscii =
    R"([T] Send  >   :010310000006E6/x0D/x0A  ----- R >   :01030C0000000000000400021964006D/x0D/x0A
[T] Send  >   :010310000006E6/x0D/x0A  ----- R >   :01030C0000000000000400021964006D/x0D/x0A
[T] Send  >   :010310000006E6/x0D/x0A  ----- R >   :01030C0000000000000400021964006E/x0D/x0A
[T] Send  >   :010310000006E6/x0D/x0A  -----> No response!   
[T] Send  >   :010310000006E6/x0D/x0A  -----> No response!   
[T]  ----- drive 1 answers after about N ms; the time-out is N ms: set it to N ms or more
[T]  ----- Late reply, not taken >   :01030C0000000000000400021964006D/x0D/x0A
[T] Send  >   010310000006  -----> Not sent: port closed!   
T,request,COM2,ASCII,:010310000006E6/x0D/x0A,:01030C0000000000000400021964006D/x0D/x0A,accepted,,RTT
T,request,COM2,ASCII,:010310000006E6/x0D/x0A,:01030C0000000000000400021964006D/x0D/x0A,accepted,,RTT
T,request,COM2,ASCII,:010310000006E6/x0D/x0A,:01030C0000000000000400021964006E/x0D/x0A,error reply,wrong checksum,RTT
T,request,COM2,ASCII,:010310000006E6/x0D/x0A,,no response,,
T,request,COM2,ASCII,:010310000006E6/x0D/x0A,,no response,,
T,unsolicited,COM2,ASCII,,:01030C0000000000000400021964006D/x0D/x0A,error reply,late reply,
T,request,COM2,ASCII,010310000006,,not sent,port closed,)";
const char *const ExpectedRtu =
    R"([T] Send  >   010310000006C108  ----- R >   01030C000000000000040002196400684B
[T] Send  >   010310000006C108  ----- R >   01030C000000000000040002196400684B
[T] Send  >   010310000006C108  ----- R >   01030C000000000000040002196400974B
[T] Send  >   010310000006C108  -----> No response!   
[T] Send  >   010310000006C108  -----> No response!   
[T]  ----- drive 1 answers after about N ms; the time-out is N ms: set it to N ms or more
[T]  ----- Late reply, not taken >   01030C000000000000040002196400684B
[T] Send  >   010310000006  -----> Not sent: port closed!   
T,request,COM2,RTU,010310000006C108,01030C000000000000040002196400684B,accepted,,RTT
T,request,COM2,RTU,010310000006C108,01030C000000000000040002196400684B,accepted,,RTT
T,request,COM2,RTU,010310000006C108,01030C000000000000040002196400974B,error reply,wrong checksum,RTT
T,request,COM2,RTU,010310000006C108,,no response,,
T,request,COM2,RTU,010310000006C108,,no response,,
T,unsolicited,COM2,RTU,,01030C000000000000040002196400684B,error reply,late reply,
T,request,COM2,RTU,010310000006,,not sent,port closed,)";

enum class Framing { Ascii, Rtu, Tcp };
enum class Step { Accepted, Unasked, Checksum, Exception, Address, Echo, Silent, Late };

// Drive 1 as a script of the test's own, on a pty or a loopback socket: the
// test reads each request and writes what comes back, byte for byte.
class ScriptedDrive {
public:
  explicit ScriptedDrive(Framing framing) : framing_(framing) {
    if (framing == Framing::Tcp) {
      sockaddr_in address{};
      listener_ = BoundLoopbackSocket(address);
      listen(listener_, 1);
      fcntl(listener_, F_SETFL, O_NONBLOCK);
      port = QString("tcp:127.0.0.1:%1").arg(ntohs(address.sin_port));
    } else if (openpty(&wire_, &slave_, nullptr, nullptr, nullptr) == 0) {
      fcntl(wire_, F_SETFL, O_NONBLOCK);
      port = QString::fromLocal8Bit(ttyname(slave_));
    }
  }
  ~ScriptedDrive() {
    for (const int fd : {wire_, slave_, listener_})
      if (fd >= 0)
        close(fd);
  }

  QString port;
  QByteArray request; // as it came on the wire

  // The next request's address, function and data, once it is all in.
  QByteArray NextRequest() {
    qsizetype length = 0;
    const auto whole = [&] {
      Read();
      length = 8; // RTU: a read or a write of one register
      if (framing_ == Framing::Ascii)
        length = in_.indexOf("\r\n") + 2;
      else if (framing_ == Framing::Tcp)
        length = in_.size() < 6 ? 6 : 6 + (quint8(in_[4]) << 8 | quint8(in_[5]));
      return length > 1 && in_.size() >= length;
    };
    if (!QTest::qWaitFor(whole, 20000))
      return QByteArray(2, 0); // none came: the lines will tell
    request = in_.left(length);
    in_.remove(0, length);
    if (framing_ == Framing::Tcp) {
      tid_ = request.left(2);
      return request.mid(6);
    }
    if (framing_ == Framing::Rtu)
      return request.chopped(2);
    return QByteArray::fromHex(request.mid(1, request.size() - 3)).chopped(1);
  }

  // `pdu` framed as the line carries it; `wrong` is added to the checksum.
  QByteArray Frame(const QByteArray &pdu, int wrong = 0, QByteArray tid = {}) const {
    if (framing_ == Framing::Tcp)
      return (tid.isEmpty() ? tid_ : tid) + QByteArray(2, 0) + char(pdu.size() >> 8) + char(pdu.size()) + pdu;
    if (framing_ == Framing::Rtu) {
      quint16 crc = 0xFFFF;
      for (const char byte : pdu) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
          crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
      }
      return pdu + char((crc & 0xFF) + wrong) + char(crc >> 8);
    }
    int lrc = wrong;
    for (const char byte : pdu)
      lrc -= static_cast<quint8>(byte);
    return ":" + (pdu + char(lrc)).toHex().toUpper() + "\r\n";
  }

  void Write(const QByteArray &bytes) {
    if (write(wire_, bytes.constData(), bytes.size()) != bytes.size())
      qWarning("the line took less than was written");
  }

private:
  void Read() {
    if (wire_ < 0 && (wire_ = accept(listener_, nullptr, nullptr)) >= 0)
      fcntl(wire_, F_SETFL, O_NONBLOCK);
    char buffer[256];
    for (ssize_t n; wire_ >= 0 && (n = read(wire_, buffer, sizeof buffer)) > 0;)
      in_.append(buffer, n);
  }

  Framing framing_;
  int wire_ = -1, slave_ = -1, listener_ = -1;
  QByteArray in_, tid_;
};

// Compared with tests/expected/`name`, a unified diff shown on a mismatch.
void CompareWithFile(const QStringList &lines, const QString &name) {
  const QString path = qEnvironmentVariable("VDD_SOURCE_DIR") + "/tests/expected/" + name;
  const QByteArray text = lines.join('\n').toUtf8() + '\n';
  if (qEnvironmentVariableIntValue("VDD_WRITE_EXPECTED") == 1) {
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(text) == text.size());
    return;
  }
  QProcess diff;
  diff.start("diff", {"-u", "--label", name, "--label", "now", path, "-"});
  diff.write(text);
  diff.closeWriteChannel();
  QVERIFY(diff.waitForFinished());
  if (diff.exitCode() != 0) // whole: a failure's message is cut short
    qWarning("%s", diff.readAll().constData());
  QVERIFY2(diff.exitCode() == 0, qPrintable("the shown text changed, as the diff above shows: " + name));
}
} // namespace

class TestHistoryText : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;
  bool rtu_ = false;

  bool ReplyIn() const {
    const CommState &s = Form1->State;
    if (!s.WaitingReply)
      return true;
    return rtu_ ? s.ReceiveBuffer.size() >= 10 : s.ReceiveBuffer.ends_with("\r\n");
  }

  // Ticks of the send timer until `done`; a reply on its way is waited for
  // before each, so that a busy machine never turns it into a time-out.
  template <typename Done> void TickUntil(Done done, bool replyComing = true) {
    for (int tick = 0; tick < 1000; ++tick) {
      if (replyComing)
        QTRY_VERIFY_WITH_TIMEOUT(ReplyIn(), 20000);
      if (done())
        return;
      Form1->UpcSendTimer();
      QTest::qWait(1); // what the tick started (a timer, a queued call) runs
    }
    QFAIL("not reached");
  }

  // A scan of drive 1: two replies taken, one with a wrong checksum, one not
  // answered, one answered after the quiet's start, one not sent; the
  // pane's lines, then the log's lines.
  QStringList ScanLines(bool rtu, bool completeOnReply) {
    rtu_ = rtu;
    const qsizetype logBefore = ClearPane();
    ProtocolSet->CompleteOnReply->setChecked(completeOnReply);
    rig_.ChoosePort(rtu);
    if (!rig_.ApplyPort())
      return {};
    const CommState &s = Form1->State;
    const long long accepted = s.AcceptedReplies;
    const int errors = s.ErrorRecords, timeouts = s.TimeoutRecords;
    StartScanOfDrive1(100);

    TickUntil([&] { return s.AcceptedReplies >= accepted + 2; });
    rig_.sim->SetLineFaults({.corruptProbability = 1});
    TickUntil([&] { return s.ErrorRecords == errors + 1; });
    rig_.sim->SetLineFaults({.dropProbability = 1});
    TickUntil([&] { return s.TimeoutRecords == timeouts + 1; }, false);
    TickUntil([&] { return !s.QuietWindowPending; }, false);
    // the drive's answer comes long after its window, in the quiet after it
    rig_.sim->SetLineFaults({.lateMs = 350});
    TickUntil([&] { return s.TimeoutRecords == timeouts + 2; }, false);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(!s.ReceiveBuffer.empty() && ReplyIn(), 20000); }();
    TickUntil([&] { return !s.QuietWindowPending; }, false);
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton); // Pause
    rig_.sim->SetLineFaults({});

    Form1->Comm1->ClosePort();
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    TickUntil([] { return Form1->HistoryLine(Form1->HistoryLineCount() - 1).contains("Not sent"); }, false);
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);

    return Shown(logBefore);
  }

  // The pane emptied: the number of the log's lines so far.
  qsizetype ClearPane() {
    ChooseFromPopupMenu(Form1->SendRevHistory->viewport(), Form1->clear1);
    Form1->findChild<TrafficLog *>("TrafficLog")->Flush();
    return TrafficLogLines().size();
  }

  void StartScanOfDrive1(int timeoutMs) {
    Form1->TimeoutMs = timeoutMs;
    Form1->SeriesStart->setText("1");
    Form1->SeriesStop->setText("1");
    Form1->ScanPeriod->setText("100");
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QVERIFY(Form1->State.ScanRunning);
  }

  // The pane's lines, then the log's after its first `logBefore`, masked.
  QStringList Shown(qsizetype logBefore) {
    QStringList lines;
    for (int line = 0; line < Form1->HistoryLineCount(); ++line)
      lines << Masked(Form1->HistoryLine(line));
    Form1->findChild<TrafficLog *>("TrafficLog")->Flush();
    for (const QString &line : TrafficLogLines().mid(logBefore))
      lines << Masked(line);
    return lines;
  }

  // A scan of drive 1 answered by `drive` step by step as `script` says: the
  // pane's lines, and the log's. What comes late or unasked is written once
  // the exchange before it has ended, and each tick waits until the program
  // has every byte written so far: the ticks alone move the program's time.
  QPair<QStringList, QStringList> ScriptedLines(Framing framing, const QList<Step> &script) {
    const qsizetype logBefore = ClearPane();
    ScriptedDrive drive(framing);
    if (framing == Framing::Tcp) {
      ProtocolSet->ComPort->setCurrentText(drive.port);
      ProtocolSet->ModbusMode->setCurrentText("TCP");
    } else if (rig_.LinkPort(drive.port, "COM3")) {
      rig_.ChoosePort(framing == Framing::Rtu, "COM3");
    }
    ProtocolSet->CompleteOnReply->setChecked(true);
    if (!rig_.ApplyPort())
      return {};
    qint64 delivered = 0;
    const auto engine = Form1->Comm1->OnReceiveData;
    Form1->Comm1->OnReceiveData = [&](TComm *comm, const char *bytes, std::uint16_t length) {
      delivered += length;
      engine(comm, bytes, length);
    };
    const auto send = [&](const QByteArray &bytes) {
      const qint64 total = delivered + bytes.size();
      drive.Write(bytes);
      QTRY_VERIFY_WITH_TIMEOUT(delivered >= total, 20000);
    };
    const CommState &s = Form1->State;
    StartScanOfDrive1(1000); // counted in ticks; a late answer is told by real time within six
    const QByteArray status = QByteArray::fromHex("0C1388017C0078140002191401");
    for (const Step step : script) {
      TickUntil([&] { return s.WaitingReply; }, false);
      const QByteArray pdu = drive.NextRequest();
      QByteArray answer = pdu.left(2) + status;
      if (step == Step::Late) // 49.99 Hz: no copy of the reading taken before
        answer.replace(3, 2, QByteArray::fromHex("1387"));
      if (step == Step::Echo) // an adapter's, with no drive behind it
        send(drive.request);
      else if (step == Step::Exception)
        send(drive.Frame(pdu.left(1) + char(pdu[1] | 0x80) + char(2)));
      else if (step == Step::Address)
        send(drive.Frame(char(2) + answer.mid(1)));
      else if (step != Step::Silent && step != Step::Late)
        send(drive.Frame(answer, step == Step::Checksum ? 1 : 0));
      TickUntil([&] { return !s.WaitingReply; }, false);
      if (step == Step::Late)
        send(drive.Frame(answer));
      else if (step == Step::Unasked) // drive 5's answer, while nobody asks
        send(drive.Frame(QByteArray::fromHex("0503020007"), 0, "BB"));
      TickUntil([&] { return !s.QuietWindowPending; }, false);
    }
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton); // Pause
    TickUntil([&] { return !s.WaitingReply && !s.QuietWindowPending; }, false);

    const QStringList lines = Shown(logBefore);
    Form1->Comm1->OnReceiveData = engine;
    Form1->PortKeeper->Forget(); // the drive goes: no hang-up to tell
    Form1->Comm1->ClosePort();
    return {lines.first(Form1->HistoryLineCount()), lines.sliced(Form1->HistoryLineCount())};
  }

  void Compare(const QStringList &lines, const char *expected) {
    if (lines != QString(expected).split('\n'))
      qWarning("%s", qPrintable(lines.join('\n')));
    QCOMPARE(lines, QString(expected).split('\n'));
  }

private slots:
  void initTestCase() {
    QVERIFY(rig_.CreateWindows());
    SimOptions options;
    options.followRequestMode = true;
    QVERIFY(rig_.StartSimulator(options));
    Form1->show();
    QTRY_VERIFY(Form1->Activated);
    QVERIFY(Form1->findChild<TrafficLog *>("TrafficLog") != nullptr);
  }

  void cleanupTestCase() { rig_.TearDown(); }

  void scanLinesKeepTheirText() {
    Compare(ScanLines(false, false), ExpectedAscii);
    Compare(ScanLines(true, true), ExpectedRtu);
  }

  void everyEndingAsShown_data() {
    QTest::addColumn<int>("framing");
    QTest::newRow("ascii") << int(Framing::Ascii);
    QTest::newRow("rtu") << int(Framing::Rtu);
    QTest::newRow("tcp") << int(Framing::Tcp);
  }

  // Every ending an exchange has, against tests/expected/.
  void everyEndingAsShown() {
    QFETCH(int, framing);
    using enum Step;
    QList<Step> script = {Accepted, Unasked, Checksum, Exception, Address, Echo, Late, Silent, Accepted};
    if (Framing(framing) == Framing::Tcp) { // no checksum, and no line to echo
      script.removeOne(Checksum);
      script.removeOne(Echo);
    }
    const auto [pane, logged] = ScriptedLines(Framing(framing), script);
    CompareWithFile(pane, QString("history_pane_%1.txt").arg(QTest::currentDataTag()));
    CompareWithFile(logged, QString("traffic_log_%1.txt").arg(QTest::currentDataTag()));
  }
};

VDD_TEST_MAIN(TestHistoryText)
#include "test_history_text.moc"
