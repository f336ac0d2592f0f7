// The serial port component over real pseudo-terminals: the component opens
// the slave side as its port, the test plays the far end on the master side.

#include "base/AppPaths.h"
#include "serial/AcquiredPort.h"
#include "serial/CommEvents.h"
#include "serial/LineEvents.h"
#include "serial/LineSettings.h"
#include "serial/OpenFailureReason.h"
#include "serial/PortDetection.h"
#include "serial/PortNames.h"
#include "serial/TComm.h"
#include "support/FakeDeviceTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {
// Generous limits: a slow machine must never fail a test.
constexpr int kLongWaitMs = 60000;
constexpr qint64 kPromptMs = 8000;

// The reason the user "nobody" is given when opening `path`, in a child
// process that drops root's rights first.
QString ReasonGivenToNobody(const QString &path) {
  int answer[2];
  if (pipe(answer) != 0)
    return QStringLiteral("no pipe");
  const pid_t child = fork();
  if (child == 0) {
    close(answer[0]);
    const passwd *nobody = getpwnam("nobody");
    if (!nobody || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
      _exit(2);
    const QByteArray reason = TAcquiredPort::Acquire(path, 1000).Reason().toUtf8();
    [[maybe_unused]] const ssize_t written = write(answer[1], reason.constData(), reason.size());
    _exit(0);
  }
  close(answer[1]);
  QByteArray reason;
  char buffer[256];
  for (ssize_t got; (got = read(answer[0], buffer, sizeof buffer)) > 0;)
    reason.append(buffer, got);
  close(answer[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? QString::fromUtf8(reason)
                                                       : QStringLiteral("the child could not become nobody");
}

// One pseudo-terminal pair. Only the master stays open here; the slave is the
// component's to open by name.
struct Pty {
  int master = -1;
  QString slavePath;

  Pty() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
      return;
    slavePath = QString::fromLocal8Bit(name);
    close(slave);
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty &) = delete;
  Pty &operator=(const Pty &) = delete;

  bool IsValid() const { return master >= 0; }
  void CloseMaster() {
    if (master >= 0)
      close(master);
    master = -1;
  }

  bool Write(const QByteArray &bytes) const {
    qsizetype done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return false;
      done += n;
    }
    return true;
  }

  // Reads until `count` bytes came or nothing arrived for `quietMs`.
  QByteArray Read(qsizetype count, int quietMs = kLongWaitMs) const {
    QByteArray got;
    char buffer[4096];
    while (got.size() < count) {
      pollfd wait{master, POLLIN, 0};
      if (poll(&wait, 1, quietMs) <= 0)
        break;
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        break;
      got.append(buffer, n);
    }
    return got;
  }
};

QByteArray Pattern(qsizetype size, int seed) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (qsizetype i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xFF);
  return bytes;
}

// Collects what the component reports.
struct Received {
  QByteArray bytes;
  int blocks = 0;
  int largestBlock = 0;
  bool terminated = true; // every block was followed by a zero byte
  int hangups = 0;
  int emptyReports = 0;
  QByteArrayList blockList;

  void Attach(TComm &comm) {
    comm.OnReceiveData = [this](TComm *, const char *buffer, std::uint16_t length) {
      bytes.append(buffer, length);
      blockList.append(QByteArray(buffer, length));
      ++blocks;
      largestBlock = std::max<int>(largestBlock, length);
      terminated = terminated && buffer[length] == '\0';
    };
    comm.OnRequestHangup = [this](TComm *) { ++hangups; };
    comm.OnSendDataEmpty = [this](TComm *) { ++emptyReports; };
  }
};

// A component with its handlers attached, and a pseudo-terminal for it.
struct PtyPort {
  Pty pty;
  TComm comm;
  Received received;
  PtyPort() { received.Attach(comm); }
};

bool OpenOn(TComm &comm, const Pty &pty) {
  comm.SetCommName(pty.slavePath);
  comm.OpenPort();
  return comm.PortOpen() && comm.PortOpenError().isEmpty();
}

// Sends a frame each way and checks both arrive unchanged.
void CheckBytesMoveBothWays(TComm &comm, Received &received, const Pty &pty) {
  const QByteArray request(":010300000001FB\r\n");
  QVERIFY(comm.WriteData(request.constData(), static_cast<std::uint16_t>(request.size())));
  QCOMPARE(pty.Read(request.size()), request);

  const QByteArray reply(":01030200647C\r\n");
  received.bytes.clear();
  QVERIFY(pty.Write(reply));
  QTRY_COMPARE_WITH_TIMEOUT(received.bytes, reply, kLongWaitMs);
}
} // namespace

class TestSerialComm : public QObject {
  Q_OBJECT

private slots:
  void portNamesMapToDevices();
  void detectedDevicesFromAFakeTree();
  void lineSettingsMapOntoTermios();
  void lineCountersGiveErrorAndModemEvents();
  void notificationsReachTheirHandlersInPostingOrder();
  void propertySetterRules();
  void openFailuresAreReportedAsText();
  void secondOpenLeavesFirstConnectionWorking();
  void lineSettingsReachTheOpenDevice();
  void sevenBitsEvenParityStillMovesBytes();
  void rs485RefusedByTheDriverLeavesThePortWorking();
  void comNameResolvesThroughDataFolderLink();
  void quickWritesArriveWholeAndInOrder();
  void sendDataEmptyOnceAfterQueuedWrites();
  void burstFromFarEndArrivesCompleteAndInOrder_data();
  void burstFromFarEndArrivesCompleteAndInOrder();
  void gatheredInputEndsWithWhatIsAwaitedOrASilence();
  void closeIsPromptWithWritePendingAndReaderIdle();
  void farEndClosingHangsUpWithoutStoppingTheProgram();
  void closingDropsWhatTheOldLinePosted();
  void destroyingAnOpenComponentClosesIt();
};

void TestSerialComm::portNamesMapToDevices() {
  QTemporaryDir scratch;
  QVERIFY(scratch.isValid());
  const QString data = scratch.path() + "/database1/";
  QVERIFY(QDir().mkpath(data + "ports"));
  QVERIFY(QFile::link("/dev/ttyUSB0", data + "ports/COM3"));
  QVERIFY(QFile::link("adapters/rs485", data + "ports/COM4")); // relative, dangling

  QCOMPARE(PortNames::DevicePath("/dev/ttyACM1", data), QString("/dev/ttyACM1"));
  QCOMPARE(PortNames::DevicePath("COM3", data), QString("/dev/ttyUSB0"));
  QCOMPARE(PortNames::DevicePath("COM4", data), data + "ports/adapters/rs485");
  QCOMPARE(PortNames::DevicePath("COM1", data), QString("/dev/ttyS0"));
  QCOMPARE(PortNames::DevicePath("COM2", data), QString("/dev/ttyS1"));
  QCOMPARE(PortNames::DevicePath("COM20", data), QString("/dev/ttyS19"));
  for (const char *none : {"COM0", "COM21", "COM", "COM02", "COM2x", "ttyUSB0", ""})
    QVERIFY2(PortNames::DevicePath(none, data).isEmpty(), none);
}

void TestSerialComm::detectedDevicesFromAFakeTree() {
  QTemporaryDir scratch;
  QVERIFY(scratch.isValid());
  const QString root = scratch.path();
  QVERIFY(FakeDeviceTree::Make(root));
  const QString byId = FakeDeviceTree::FtdiById;

  const QList<TDetectedPort> expected = {
      {byId, "FTDI FT232R USB UART, ttyUSB0"},
      {"/dev/ttyUSB1", "USB 067b:2303, ttyUSB1"},
      {"/dev/ttyACM0", "Arduino (www.arduino.cc) Arduino Uno, ttyACM0"},
      {"/dev/ttyS0", "UART"},
      {"/dev/ttyS2", "UART"},
      {"/dev/ttyS10", "UART"},
  };
  QCOMPARE(PortDetection::SerialDevices(root), expected);

  const QString data = root + "/program/database1";
  QVERIFY(QDir().mkpath(data + "/ports"));
  QVERIFY(QFile::link("/dev/ttyUSB0", data + "/ports/COM3"));
  QVERIFY(QFile::link("/dev/pts/7", data + "/ports/COM12"));
  const QList<TDetectedPort> linked = {{"COM3", "/dev/ttyUSB0 (FTDI FT232R USB UART)"},
                                       {"COM12", "/dev/pts/7"}};
  QCOMPARE(PortDetection::LinkedComPorts(data, root), linked);
}

void TestSerialComm::lineSettingsMapOntoTermios() {
  termios cooked{};
  cooked.c_iflag = ICRNL | IXON | ISTRIP | IGNPAR;
  cooked.c_oflag = OPOST | ONLCR;
  cooked.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
  cooked.c_cflag = CS8 | CREAD | HUPCL | CRTSCTS;
  cfsetispeed(&cooked, B4800);
  cfsetospeed(&cooked, B4800);

  TLineSettings ascii;
  ascii.BaudRate = 19200;
  ascii.ByteSize = TByteSize::_7;
  ascii.Parity = TParity::Even;
  termios tio = cooked;
  ToTermios(ascii, tio);
  QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS7));
  QCOMPARE(tio.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR), tcflag_t(PARENB));
  QVERIFY(tio.c_cflag & CREAD && tio.c_cflag & CLOCAL && tio.c_cflag & HUPCL);
  QCOMPARE(tio.c_iflag & (ICRNL | IXON | ISTRIP | IGNPAR | INPCK), tcflag_t(0));
  QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
  QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
  QCOMPARE(cfgetospeed(&tio), speed_t(B19200));
  QCOMPARE(cfgetispeed(&tio), speed_t(B19200));

  TLineSettings rtu;
  rtu.BaudRate = 12345; // no such rate: the speed stays
  rtu.Parity = TParity::Odd;
  rtu.StopBits = TStopBits::_2;
  rtu.ParityCheck = true;
  tio = cooked;
  ToTermios(rtu, tio);
  QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
  QCOMPARE(tio.c_cflag & (PARENB | PARODD | CSTOPB | CMSPAR), tcflag_t(PARENB | PARODD | CSTOPB));
  QVERIFY(tio.c_iflag & INPCK);
  QCOMPARE(cfgetospeed(&tio), speed_t(B4800));

  TLineSettings stick;
  stick.Parity = TParity::Mark;
  stick.StopBits = TStopBits::_1_5;
  ToTermios(stick, tio);
  QCOMPARE(tio.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB), tcflag_t(PARENB | PARODD | CMSPAR | CSTOPB));
  stick.Parity = TParity::Space;
  stick.StopBits = TStopBits::_1;
  ToTermios(stick, tio);
  QCOMPARE(tio.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB), tcflag_t(PARENB | CMSPAR));

  TLineSettings flow;
  flow.Outx_CtsFlow = true;
  flow.Outx_XonXoffFlow = true;
  flow.Inx_XonXoffFlow = true;
  flow.XonChar = 0x11;
  flow.XoffChar = 0x13;
  flow.ByteSize = TByteSize::_5;
  ToTermios(flow, tio);
  QVERIFY(tio.c_cflag & CRTSCTS);
  QCOMPARE(tio.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
  QCOMPARE(tio.c_cc[VSTART], cc_t(0x11));
  QCOMPARE(tio.c_cc[VSTOP], cc_t(0x13));
  QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS5));
  QVERIFY(ModemLinesFor(flow).RtsByDriver);

  // The program's own port: DTR and RTS on, no flow control.
  TLineSettings program;
  program.DtrControl = TDtrControl::DtrEnable;
  program.RtsControl = TRtsControl::RtsEnable;
  TModemLines lines = ModemLinesFor(program);
  QVERIFY(lines.Dtr && lines.Rts && !lines.RtsByDriver);
  ToTermios(program, tio);
  QCOMPARE(tio.c_cflag & CRTSCTS, tcflag_t(0));
  QCOMPARE(tio.c_iflag & (IXON | IXOFF), tcflag_t(0));
  lines = ModemLinesFor(TLineSettings{});
  QVERIFY(!lines.Dtr && !lines.Rts && !lines.RtsByDriver);
  program.RtsControl = TRtsControl::RtsTransmissionAvailable;
  program.DtrControl = TDtrControl::DtrHandshake;
  lines = ModemLinesFor(program);
  QVERIFY(lines.Dtr && lines.RtsByDriver);
}

void TestSerialComm::lineCountersGiveErrorAndModemEvents() {
  const TLineCounters before{1, 2, 3, 4, 5, 6, 7};
  TLineEvents events = LineEventsBetween(before, before);
  QCOMPARE(events.Errors, 0u);
  QCOMPARE(events.ModemEvents, 0u);

  TLineCounters after = before;
  after.Frame += 2;
  after.BufferOverrun += 1;
  after.Carrier += 1;
  events = LineEventsBetween(before, after);
  QCOMPARE(events.Errors, CommErrorFrame | CommErrorBufferOverrun);
  QCOMPARE(events.ModemEvents, ModemEventCarrier);

  after = before;
  after.Overrun += 1;
  after.Parity += 1;
  after.Break += 1;
  after.Ring += 3;
  events = LineEventsBetween(before, after);
  QCOMPARE(events.Errors, CommErrorOverrun | CommErrorParity | CommErrorBreak);
  QCOMPARE(events.ModemEvents, ModemEventRing);
  QCOMPARE(CommErrorFrame, 0x8u);
  QCOMPARE(ModemEventCarrier | ModemEventRing, 12u);
}

void TestSerialComm::notificationsReachTheirHandlersInPostingOrder() {
  TComm comm;
  QObject *notifier = comm.findChild<QObject *>();
  QVERIFY(notifier);

  QStringList log;
  comm.OnReceiveData = [&](TComm *sender, const char *buffer, std::uint16_t length) {
    QCOMPARE(sender, &comm);
    log << "data " + QString::fromLatin1(buffer, length);
    // A handler may drop itself; the call in progress must survive that.
    if (QByteArray(buffer, length) == "stop")
      comm.OnReceiveData = nullptr;
  };
  comm.OnReceiveError = [&](TComm *, std::uint32_t mask) { log << QString("error %1").arg(mask); };
  comm.OnModemStateChange = [&](TComm *, std::uint32_t bits) { log << QString("modem %1").arg(bits); };
  comm.OnRequestHangup = [&](TComm *) { log << "hangup"; };
  comm.OnSendDataEmpty = [&](TComm *) { log << "empty"; };

  PostCommEvent(notifier, MsgReceiveData, 2, "ab");
  PostCommEvent(notifier, MsgReceiveError, CommErrorFrame | CommErrorOverrun);
  PostCommEvent(notifier, MsgModemStateChange, ModemEventCarrier | ModemEventRing);
  PostCommEvent(notifier, static_cast<TCommMessage>(1030), 7); // not ours: ignored
  PostCommEvent(notifier, MsgSendDataEmpty);
  PostCommEvent(notifier, MsgReceiveData, 4, "stop");
  PostCommEvent(notifier, MsgReceiveData, 4, "lost");
  PostCommEvent(notifier, MsgRequestHangup);
  QTRY_COMPARE_WITH_TIMEOUT(log.size(), 6, kLongWaitMs);
  QTest::qWait(50);
  QCOMPARE(log, QStringList({"data ab", "error 10", "modem 12", "empty", "data stop", "hangup"}));
}

void TestSerialComm::propertySetterRules() {
  TComm comm;
  QCOMPARE(comm.CommName(), QString("COM1"));
  QCOMPARE(comm.InputLen(), std::uint16_t(1));
  QCOMPARE(comm.InBufferSize(), std::uint16_t(2048));

  comm.SetCommPort(3);
  QCOMPARE(comm.CommName(), QString("COM3"));
  QCOMPARE(comm.CommPort(), std::uint8_t(3));
  comm.SetCommPort(0);
  QCOMPARE(comm.CommName(), QString("COM3"));
  QCOMPARE(comm.CommPort(), std::uint8_t(3));
  // The name alone does not touch the number, so setting the same number
  // again leaves a name chosen since then.
  comm.SetCommName("/dev/ttyUSB0");
  comm.SetCommPort(3);
  QCOMPARE(comm.CommName(), QString("/dev/ttyUSB0"));

  comm.SetInputLen(0);
  QCOMPARE(comm.InputLen(), std::uint16_t(2048));
  comm.SetInputLen(16);
  comm.SetInputLen(4096); // larger than the buffer: ignored
  QCOMPARE(comm.InputLen(), std::uint16_t(16));
  comm.SetInBufferSize(0);
  QCOMPARE(comm.InBufferSize(), std::uint16_t(1));
  QCOMPARE(comm.InputLen(), std::uint16_t(1)); // never larger than the buffer

  const char byte = 'x';
  QVERIFY(!comm.WriteData(&byte, 1)); // closed
  comm.SetOutput("abc");
  QCOMPARE(comm.Output(), QString("abc"));

  Pty pty;
  QVERIFY(pty.IsValid());
  QVERIFY(OpenOn(comm, pty));
  QVERIFY(!comm.WriteData(&byte, 0));
  // Output goes to the line as it is.
  const QByteArray frame(":010620000001D8\r\n");
  comm.SetOutput(QString::fromLatin1(frame));
  QCOMPARE(pty.Read(frame.size()), frame);
}

void TestSerialComm::openFailuresAreReportedAsText() {
  // A device refused to a user: the dialout group is advised only for a
  // device that group may use, not for one that only root may open.
  Pty refusing;
  QVERIFY(refusing.IsValid());
  const QByteArray node = QFile::encodeName(refusing.slavePath);
  const group *dialout = getgrnam("dialout");
  if (geteuid() == 0 && dialout != nullptr) {
    QCOMPARE(chown(node.constData(), 0, 0), 0);
    QCOMPARE(chmod(node.constData(), 0600), 0);
    QCOMPARE(ReasonGivenToNobody(refusing.slavePath),
             QString("Permission denied: the device is readable only by its owner (root)"));
    QCOMPARE(chown(node.constData(), 0, dialout->gr_gid), 0);
    QCOMPARE(chmod(node.constData(), 0660), 0);
    QCOMPARE(ReasonGivenToNobody(refusing.slavePath),
             QString("Permission denied: add your user to the dialout group"));
  } else {
    QCOMPARE(chmod(node.constData(), 0), 0); // refused to its owner too
    const QString me = QString::fromLocal8Bit(getpwuid(geteuid())->pw_name);
    QCOMPARE(TAcquiredPort::Acquire(refusing.slavePath, 1000).Reason(),
             QString("Permission denied: the device is readable only by its owner (%1)").arg(me));
  }
  // What cannot be made to happen here (a ttyS node lacking its UART): the
  // words for it.
  QCOMPARE(OpenFailureReason(EIO), QString("No such device"));
  TComm comm;
  comm.SetCommName("/dev/no-such-serial-device");
  comm.OpenPort();
  QCOMPARE(comm.PortOpenError(), QString("Error opening serial port"));
  QCOMPARE(comm.PortOpenReason(), QString("No such device"));
  QVERIFY(!comm.PortOpen());
  comm.ClosePort();
  QCOMPARE(comm.PortOpenError(), QString());
  QCOMPARE(comm.PortOpenReason(), QString());
  QVERIFY(!comm.PortOpen());

  comm.SetCommName("NOTAPORT");
  comm.SetPortOpen(true);
  QCOMPARE(comm.PortOpenError(), QString("Error opening serial port"));
  QCOMPARE(comm.PortOpenReason(), QString("No such device"));

  QTemporaryDir scratch;
  QVERIFY(scratch.isValid());
  QFile plain(scratch.path() + "/plain.txt");
  QVERIFY(plain.open(QIODevice::WriteOnly));
  plain.write("not a port");
  plain.close();
  comm.SetCommName(plain.fileName());
  comm.OpenPort();
  QCOMPARE(comm.PortOpenError(), QString("File handle is not a comm handle "));
  QVERIFY(!comm.PortOpen());

  // A character device that is not a terminal is no serial port either.
  comm.SetCommName("/dev/null");
  comm.OpenPort();
  QCOMPARE(comm.PortOpenError(), QString("File handle is not a comm handle "));
  QVERIFY(!comm.PortOpen());
}

void TestSerialComm::secondOpenLeavesFirstConnectionWorking() {
  Pty pty;
  QVERIFY(pty.IsValid());
  TComm comm;
  Received received;
  received.Attach(comm);
  QVERIFY(OpenOn(comm, pty));

  comm.OpenPort();
  QCOMPARE(comm.PortOpenError(), QString("This serial port already opened"));
  QVERIFY(comm.PortOpen());

  // Another component cannot take the same device while it is in use.
  TComm other;
  other.SetCommName(pty.slavePath);
  other.OpenPort();
  QCOMPARE(other.PortOpenError(), QString("Error opening serial port"));
  QCOMPARE(other.PortOpenReason(), QString("in use by another program"));
  QVERIFY(!other.PortOpen());

  CheckBytesMoveBothWays(comm, received, pty);
  QCOMPARE(received.hangups, 0);

  // Closed again, the device is free for the other one.
  comm.SetPortOpen(false);
  QVERIFY(!comm.PortOpen());
  other.OpenPort();
  QVERIFY(other.PortOpen());
}

void TestSerialComm::lineSettingsReachTheOpenDevice() {
  Pty pty;
  QVERIFY(pty.IsValid());
  TComm comm;
  comm.SetBaudRate(19200);
  QVERIFY(OpenOn(comm, pty));

  // The master side of a pseudo-terminal reads and writes the slave's settings.
  termios tio{};
  QCOMPARE(tcgetattr(pty.master, &tio), 0);
  QCOMPARE(cfgetospeed(&tio), speed_t(B19200));
  QCOMPARE(tio.c_lflag & (ICANON | ECHO), tcflag_t(0));

  // Change the speed behind the component's back: setting the value it already
  // has must leave the device alone, a new value re-applies everything.
  cfsetispeed(&tio, B4800);
  cfsetospeed(&tio, B4800);
  tio.c_lflag |= ECHO;
  QCOMPARE(tcsetattr(pty.master, TCSANOW, &tio), 0);
  comm.SetBaudRate(19200);
  QCOMPARE(tcgetattr(pty.master, &tio), 0);
  QCOMPARE(cfgetospeed(&tio), speed_t(B4800));
  comm.SetBaudRate(38400);
  QCOMPARE(tcgetattr(pty.master, &tio), 0);
  QCOMPARE(cfgetospeed(&tio), speed_t(B38400));
  QCOMPARE(tio.c_lflag & ECHO, tcflag_t(0));

  // Time-outs are accepted while open and kept.
  comm.SetReadIntervalTimeout(10);
  QCOMPARE(comm.ReadIntervalTimeout(), std::uint32_t(10));
  QVERIFY(comm.PortOpen());
}

void TestSerialComm::sevenBitsEvenParityStillMovesBytes() {
  Pty pty;
  QVERIFY(pty.IsValid());
  TComm comm;
  Received received;
  received.Attach(comm);
  comm.SetByteSize(TByteSize::_7);
  comm.SetParity(TParity::Even);
  QVERIFY(OpenOn(comm, pty));
  CheckBytesMoveBothWays(comm, received, pty);
  QCOMPARE(comm.ByteSize(), TByteSize::_7);
  QCOMPARE(comm.Parity(), TParity::Even);
}

void TestSerialComm::rs485RefusedByTheDriverLeavesThePortWorking() {
  PtyPort port;
  QVERIFY(port.pty.IsValid());
  port.comm.SetRs485(true);
  // A pseudo-terminal, like a plain USB adapter, has no RS-485 mode.
  QVERIFY(OpenOn(port.comm, port.pty));
  QVERIFY(!port.comm.Rs485Active());
  QCOMPARE(port.comm.Rs485Error(),
           QString("RS-485 direction control not supported: Inappropriate ioctl for device"));
  CheckBytesMoveBothWays(port.comm, port.received, port.pty);
  port.comm.SetRs485(false);
  QCOMPARE(port.comm.Rs485Error(), QString());
}

void TestSerialComm::comNameResolvesThroughDataFolderLink() {
  Pty pty;
  QVERIFY(pty.IsValid());
  QTemporaryDir programFolder;
  QVERIFY(programFolder.isValid());
  QVERIFY(QDir().mkpath(programFolder.path() + "/database1/ports"));
  QVERIFY(QFile::link(pty.slavePath, programFolder.path() + "/database1/ports/COM2"));
  AppPaths::SetProgramFolder(programFolder.path());

  TComm comm;
  Received received;
  received.Attach(comm);
  comm.SetCommName("COM2");
  comm.OpenPort();
  AppPaths::SetProgramFolder(QString());
  QCOMPARE(comm.PortOpenError(), QString());
  QVERIFY(comm.PortOpen());
  CheckBytesMoveBothWays(comm, received, pty);
}

void TestSerialComm::quickWritesArriveWholeAndInOrder() {
  Pty pty;
  QVERIFY(pty.IsValid());
  TComm comm;
  QVERIFY(OpenOn(comm, pty));

  // Blocks of many sizes, queued without a pause; the largest ones fill the
  // pseudo-terminal so the writer has to wait for room in between.
  QList<QByteArray> blocks;
  QByteArray expected;
  for (int i = 0; i < 300; ++i) {
    blocks.append(Pattern(1 + (i * 97) % 9000, i));
    expected += blocks.last();
  }
  QByteArray arrived;
  std::thread farEnd([&] { arrived = pty.Read(expected.size()); });
  for (const QByteArray &block : blocks)
    QVERIFY(comm.WriteData(block.constData(), static_cast<std::uint16_t>(block.size())));
  farEnd.join();
  QCOMPARE(arrived.size(), expected.size());
  QVERIFY(arrived == expected);
}

void TestSerialComm::sendDataEmptyOnceAfterQueuedWrites() {
  Pty pty;
  QVERIFY(pty.IsValid());
  TComm comm;
  Received received;
  received.Attach(comm);
  QVERIFY(OpenOn(comm, pty));
  // The writer reports its empty queue once when it starts.
  QTRY_COMPARE_WITH_TIMEOUT(received.emptyReports, 1, kLongWaitMs);

  // The far end is not reading yet and a pseudo-terminal holds far less than
  // the first block, so it cannot be written through before the second is
  // queued.
  const QByteArray first = Pattern(65000, 1);
  const QByteArray second = Pattern(500, 2);
  QVERIFY(comm.WriteData(first.constData(), static_cast<std::uint16_t>(first.size())));
  QVERIFY(comm.WriteData(second.constData(), static_cast<std::uint16_t>(second.size())));
  QTest::qWait(200);
  QCOMPARE(received.emptyReports, 1);

  const QByteArray arrived = pty.Read(first.size() + second.size());
  QVERIFY(arrived == first + second);
  QTRY_COMPARE_WITH_TIMEOUT(received.emptyReports, 2, kLongWaitMs);
  QTest::qWait(300);
  QCOMPARE(received.emptyReports, 2);
}

void TestSerialComm::burstFromFarEndArrivesCompleteAndInOrder_data() {
  QTest::addColumn<int>("inputLen");
  QTest::newRow("one byte per read") << 1;
  QTest::newRow("up to 512 bytes per read") << 512;
}

void TestSerialComm::burstFromFarEndArrivesCompleteAndInOrder() {
  QFETCH(int, inputLen);
  Pty pty;
  QVERIFY(pty.IsValid());
  TComm comm;
  Received received;
  received.Attach(comm);
  comm.SetInputLen(static_cast<std::uint16_t>(inputLen));
  QVERIFY(OpenOn(comm, pty));

  const QByteArray burst = Pattern(1024 * 1024 + 123, 5);
  std::atomic<bool> written{false};
  std::thread farEnd([&] { written = pty.Write(burst); });
  QTRY_VERIFY_WITH_TIMEOUT(received.bytes.size() >= burst.size(), kLongWaitMs * 3);
  farEnd.join();
  QVERIFY(written.load());
  QCOMPARE(received.bytes.size(), burst.size());
  QVERIFY(received.bytes == burst);
  QVERIFY(received.terminated);
  QVERIFY(received.largestBlock <= inputLen);
  if (inputLen == 1)
    QCOMPARE(qsizetype(received.blocks), burst.size());
  QCOMPARE(received.hangups, 0);
}

void TestSerialComm::gatheredInputEndsWithWhatIsAwaitedOrASilence() {
  PtyPort port;
  QVERIFY(port.pty.IsValid());
  TComm &comm = port.comm;
  const Received &received = port.received;
  comm.SetBaudRate(1200); // a silence is 32 ms: far more than the pauses below
  comm.SetInputLen(0);
  comm.SetGatherInput(true);
  QVERIFY(OpenOn(comm, port.pty));

  // The far end writes byte by byte, as a drive's line delivers them.
  const auto dribble = [&pty = port.pty](const QByteArray &bytes) {
    for (const char byte : bytes) {
      if (!pty.Write(QByteArray(1, byte)))
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  };
  comm.ExpectInput({.Count = 5});
  QVERIFY(dribble("abcdefg"));
  QTRY_COMPARE_WITH_TIMEOUT(received.bytes.size(), 7, kLongWaitMs);
  QTest::qWait(100);
  QCOMPARE(received.blockList, QByteArrayList({"abcde", "fg"})); // the rest after the silence

  comm.ExpectInput({.EndByte = '\n'});
  QVERIFY(dribble(":0103\r\nxy"));
  QTRY_COMPARE_WITH_TIMEOUT(received.bytes.size(), 16, kLongWaitMs);
  QTest::qWait(100);
  QCOMPARE(received.blockList, QByteArrayList({"abcde", "fg", ":0103\r\n", "xy"}));

  // A flag in the second byte announces a 3-byte form instead of 8.
  comm.ExpectInput({.Count = 8, .ShortCount = 3, .FlagAt = 1, .FlagBits = 0x80});
  QVERIFY(dribble("a\x81"
                  "bXY"));
  QTRY_COMPARE_WITH_TIMEOUT(received.bytes.size(), 21, kLongWaitMs);
  QTest::qWait(100);
  QCOMPARE(received.blockList.mid(4), QByteArrayList({"a\x81"
                                                      "b",
                                                      "XY"}));

  // Off again: every read is its own block at once.
  comm.SetInputLen(1);
  comm.SetGatherInput(false);
  QVERIFY(dribble("z"));
  QTRY_COMPARE_WITH_TIMEOUT(received.blockList.size(), 7, kLongWaitMs);
  QCOMPARE(received.blockList.last(), QByteArray("z"));
}

void TestSerialComm::closeIsPromptWithWritePendingAndReaderIdle() {
  Pty pty;
  QVERIFY(pty.IsValid());
  TComm comm;
  Received received;
  received.Attach(comm);
  QVERIFY(OpenOn(comm, pty));

  // Far more than a pseudo-terminal holds, with nobody reading.
  const QByteArray block = Pattern(60000, 3);
  for (int i = 0; i < 5; ++i)
    QVERIFY(comm.WriteData(block.constData(), static_cast<std::uint16_t>(block.size())));
  QTest::qWait(300);

  QElapsedTimer timer;
  timer.start();
  comm.ClosePort();
  QVERIFY2(timer.elapsed() < kPromptMs, qPrintable(QString::number(timer.elapsed())));
  QVERIFY(!comm.PortOpen());
  QVERIFY(!comm.WriteData(block.constData(), 1));
  // The pending output was abandoned, not written out later.
  QVERIFY(pty.Read(5 * block.size(), 500).size() < 5 * block.size());

  // Open again and close with both threads idle.
  QVERIFY(OpenOn(comm, pty));
  QTest::qWait(100);
  timer.restart();
  comm.ClosePort();
  QVERIFY(timer.elapsed() < kPromptMs);
  QVERIFY(!comm.PortOpen());
  QCOMPARE(received.hangups, 0);
}

void TestSerialComm::farEndClosingHangsUpWithoutStoppingTheProgram() {
  auto pty = std::make_unique<Pty>();
  QVERIFY(pty->IsValid());
  TComm comm;
  Received received;
  received.Attach(comm);
  QVERIFY(OpenOn(comm, *pty));
  QVERIFY(pty->Write("last words"));
  QTRY_COMPARE_WITH_TIMEOUT(received.bytes, QByteArray("last words"), kLongWaitMs);

  pty->CloseMaster();
  QTRY_COMPARE_WITH_TIMEOUT(received.hangups, 1, kLongWaitMs);
  // Only the reader noticed; it reported once and did not keep waking up.
  QTest::qWait(300);
  QCOMPARE(received.hangups, 1);
  QVERIFY(comm.PortOpen());

  // The writer finds out at its next write, hangs up too, and takes no more.
  const char byte = 'x';
  QVERIFY(comm.WriteData(&byte, 1));
  QTRY_COMPARE_WITH_TIMEOUT(received.hangups, 2, kLongWaitMs);
  QVERIFY(!comm.WriteData(&byte, 1));

  QElapsedTimer timer;
  timer.start();
  comm.ClosePort();
  QVERIFY(timer.elapsed() < kPromptMs);
  QVERIFY(!comm.PortOpen());
  QCOMPARE(comm.PortOpenError(), QString());
}

void TestSerialComm::closingDropsWhatTheOldLinePosted() {
  // The far end hangs up, and the port is closed and opened on another line
  // before the program turns its event loop again (OK right after an
  // adapter was pulled out): the old line's hang-up and bytes are not taken
  // for the new line's.
  auto old = std::make_unique<Pty>();
  Pty next;
  QVERIFY(old->IsValid() && next.IsValid());
  TComm comm;
  Received received;
  received.Attach(comm);
  QVERIFY(OpenOn(comm, *old));
  QVERIFY(old->Write("stale"));
  old->CloseMaster();
  std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the reader posts meanwhile
  comm.ClosePort();
  QVERIFY(OpenOn(comm, next));
  QTest::qWait(300);
  QCOMPARE(received.hangups, 0);
  QCOMPARE(received.bytes, QByteArray());
  QVERIFY(comm.PortOpen());
}

void TestSerialComm::destroyingAnOpenComponentClosesIt() {
  Pty pty;
  QVERIFY(pty.IsValid());
  auto comm = std::make_unique<TComm>();
  // No handlers at all: the received blocks are still released (the
  // sanitizer build of this test checks for leaks).
  QVERIFY(OpenOn(*comm, pty));
  QVERIFY(pty.Write(Pattern(3000, 9)));
  QTest::qWait(200);
  // More bytes that are read but never dispatched before the destruction.
  QVERIFY(pty.Write(Pattern(500, 10)));
  QTest::qWait(200);
  comm.reset();

  // The device was closed and released: another component takes it at once,
  // and nothing of the old one reads what arrives now.
  TComm next;
  Received received;
  received.Attach(next);
  QVERIFY(OpenOn(next, pty));
  CheckBytesMoveBothWays(next, received, pty);
}

QTEST_GUILESS_MAIN(TestSerialComm)
#include "test_serial_comm.moc"
