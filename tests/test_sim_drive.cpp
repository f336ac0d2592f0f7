// The drive simulator, driven over a real pseudo-terminal with raw frames.

#include "protocol/HexText.h"
#include "sim/DriveSimulator.h"
#include "sim/ModbusFraming.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimCommands.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Bytes FromHex(const std::string &hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string Text(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

// The tool's side of the line: the serial end of the pseudo-terminal, opened
// like a port.
class Port {
public:
  explicit Port(const std::string &path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~Port() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  void Send(const Bytes &bytes) { QCOMPARE(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  void Send(const std::string &text) { Send(Bytes(text.begin(), text.end())); }

  // Everything that arrives until `done` says the reply is complete or the
  // time is up.
  Bytes Receive(int timeoutMs, const std::function<bool(const Bytes &)> &done) {
    Bytes got;
    std::int64_t end = NowMs() + timeoutMs;
    while (!done(got)) {
      std::int64_t left = end - NowMs();
      if (left <= 0)
        break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0)
        continue;
      std::uint8_t buffer[256];
      ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n > 0)
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }
  // Everything that arrives within the window.
  Bytes ReceiveFor(int ms) {
    return Receive(ms, [](const Bytes &) { return false; });
  }

  // An ASCII request body → the reply body, checked for colon, CR LF and LRC.
  // Empty when nothing (complete) came back.
  std::string AskAscii(const std::string &body, int timeoutMs = 3000) {
    Send(":" + body + ComputeLRC(body) + "\r\n");
    std::string reply =
        Text(Receive(timeoutMs, [](const Bytes &b) { return !b.empty() && b.back() == '\n'; }));
    if (reply.size() < 9 || reply[0] != ':' || reply.substr(reply.size() - 2) != "\r\n")
      return {};
    std::string digits = reply.substr(1, reply.size() - 5);
    if (ComputeLRC(digits) != reply.substr(reply.size() - 4, 2))
      return "bad LRC";
    return digits;
  }

  // An RTU request body → the reply body without CRC, checked.
  std::string AskRtu(const std::string &body, int timeoutMs = 3000) {
    Send(EncodeRtuFrame(FromHex(body)));
    Bytes reply = Receive(timeoutMs, [](const Bytes &b) {
      if (b.size() < 5)
        return false;
      if (b[1] & 0x80)
        return true;
      return b[1] == 0x03 ? b.size() >= 5u + b[2] : b.size() >= 8u;
    });
    if (reply.size() < 5)
      return {};
    if (ComputeCRC16(reply, reply.size() - 2) != BytesToHex(reply.data() + reply.size() - 2, 2))
      return "bad CRC";
    return BytesToHex(reply.data(), reply.size() - 2);
  }

private:
  int fd_ = -1;
};

struct SimRig {
  std::atomic<std::int64_t> clock{0};
  std::unique_ptr<DriveSimulator> sim;
  std::unique_ptr<Port> port;

  explicit SimRig(SimOptions options = {}) {
    options.clock = [this] { return clock.load(); };
    sim = std::make_unique<DriveSimulator>(options);
    if (sim->Start())
      port = std::make_unique<Port>(sim->SlavePath());
  }
  bool Ready() const { return port && port->IsOpen(); }
  // Status register i (0..5) of drive 1 as read over the line.
  int Status(int i, int address = 1) {
    char body[32];
    std::snprintf(body, sizeof body, "%02X03%04X0001", address, 0x1000 + i);
    std::string reply = port->AskAscii(body);
    return reply.size() == 10 ? std::stoi(reply.substr(6, 4), nullptr, 16) : -1;
  }
};

} // namespace

class TestSimDrive : public QObject {
  Q_OBJECT
private slots:
  void framing() {
    QCOMPARE(EncodeAsciiFrame(FromHex("010300000001")), std::string(":010300000001FB\r\n"));
    QCOMPARE(BytesToHex(EncodeRtuFrame(FromHex("010300000001")).data(), 8), std::string("010300000001840A"));

    // ASCII: noise before the colon is dropped; lower case accepted; a bad LRC
    // and a non-hex character are flagged.
    FrameAssembler ascii(FrameMode::Ascii);
    std::vector<ReceivedFrame> frames;
    std::string stream = "xx\r\n:010300000001FB\r\n:010300000001fb\r\n:010300000001FC\r\n:01030G000001FB\r\n";
    ascii.Feed(reinterpret_cast<const std::uint8_t *>(stream.data()), stream.size(), 0, frames);
    QCOMPARE(frames.size(), std::size_t(4));
    QVERIFY(frames[0].checksumOk);
    QCOMPARE(frames[0].body, FromHex("010300000001"));
    QCOMPARE(frames[0].lineText, std::string(":010300000001FB\r\n"));
    QVERIFY(frames[1].checksumOk);
    QVERIFY(!frames[2].checksumOk);
    QVERIFY(!frames[3].checksumOk);

    // RTU: a request of known length is taken at once; bytes without CRC
    // (a raw step) wait for the silence and are then dropped as bad.
    FrameAssembler rtu(FrameMode::Rtu, 4);
    frames.clear();
    Bytes good = EncodeRtuFrame(FromHex("010300000001"));
    rtu.Feed(good.data(), good.size(), 100, frames);
    QCOMPARE(frames.size(), std::size_t(1));
    QVERIFY(frames[0].checksumOk);
    Bytes raw = FromHex("010620000001");
    rtu.Feed(raw.data(), raw.size(), 200, frames);
    QCOMPARE(frames.size(), std::size_t(1));
    QCOMPARE(rtu.MsUntilSilence(201), 3);
    rtu.Idle(204, frames);
    QCOMPARE(frames.size(), std::size_t(2));
    QVERIFY(!frames[1].checksumOk);
    QCOMPARE(frames[1].lineText, std::string("010620000001"));
    // An endless run of bytes is cut off at the longest frame and dropped.
    Bytes noise(1000, 0x55);
    frames.clear();
    rtu.Feed(noise.data(), noise.size(), 250, frames);
    QCOMPARE(frames.size(), std::size_t(1000 / FrameAssembler::MaxRtuFrame));
    for (const ReceivedFrame &f : frames)
      QVERIFY(!f.checksumOk && f.lineText.size() == 2 * FrameAssembler::MaxRtuFrame);
    rtu.Idle(260, frames);
    frames.clear();
    std::string endless = ":" + std::string(2000, '0');
    ascii.Feed(reinterpret_cast<const std::uint8_t *>(endless.data()), endless.size(), 0, frames);
    QCOMPARE(frames.size(), std::size_t(1));
    QVERIFY(!frames[0].checksumOk);
    QCOMPARE(frames[0].lineText.size(), FrameAssembler::MaxAsciiFrame);
    frames.clear();
    // A good frame split across writes still reassembles.
    rtu.Feed(good.data(), 3, 300, frames);
    rtu.Feed(good.data() + 3, 5, 301, frames);
    QCOMPARE(frames.size(), std::size_t(1));
    QVERIFY(frames[0].checksumOk);

    // Following each request: an ASCII frame cut short by a master that
    // switched to RTU is given up after a second of silence, and the RTU
    // request after it is heard and answered in RTU.
    FrameAssembler either(std::nullopt);
    frames.clear();
    std::string cut = ":0103";
    either.Feed(reinterpret_cast<const std::uint8_t *>(cut.data()), cut.size(), 0, frames);
    QCOMPARE(either.MsUntilSilence(400), FrameAssembler::AsciiSilenceMs - 400);
    either.Feed(good.data(), good.size(), FrameAssembler::AsciiSilenceMs, frames);
    QCOMPARE(frames.size(), std::size_t(2));
    QVERIFY(!frames[0].checksumOk);
    QVERIFY(frames[1].checksumOk && frames[1].mode == FrameMode::Rtu);
    QCOMPARE(frames[1].body, FromHex("010300000001"));
  }

  void rampFollowsTheTimes() {
    SimRig rig;
    QVERIFY2(rig.Ready(), rig.sim->Error().c_str());
    Port &port = *rig.port;
    // F111 max 50 Hz, F113 set 25 Hz, F114 acc 10.0 s, F115 dec 5.0 s
    QCOMPARE(port.AskAscii("0106010B1388"), std::string("0106010B1388"));
    QCOMPARE(port.AskAscii("0106010D09C4"), std::string("0106010D09C4"));
    QCOMPARE(port.AskAscii("0106010E0064"), std::string("0106010E0064"));
    QCOMPARE(port.AskAscii("0106010F0032"), std::string("0106010F0032"));
    QCOMPARE(rig.Status(0), 0);
    QCOMPARE(rig.Status(5), 100 << 8); // stopped

    QCOMPARE(port.AskAscii("010620000001"), std::string("010620000001")); // FWD START echoed
    rig.clock += 2500; // the time is for 0 to F111: 5 Hz a second
    QCOMPARE(rig.Status(0), 1250);
    rig.clock += 2500;
    QCOMPARE(rig.Status(0), 2500);
    rig.clock += 10000;
    // The whole block: frequency, voltage, current, speed factors, bus, status.
    std::string block = port.AskAscii("010310000006");
    QCOMPARE(block.substr(0, 6), std::string("01030C"));
    auto reg = [&](int i) { return std::stoi(block.substr(6 + 4 * i, 4), nullptr, 16); };
    QCOMPARE(reg(0), 2500);
    QCOMPARE(reg(1), 190); // 380 V at 50 Hz
    QVERIFY(reg(2) > 0);
    QCOMPARE(reg(4), 537);
    QCOMPARE(reg(5) & 0xFF, 1);                                    // forward
    QCOMPARE(reg(0) * 120 / ((reg(3) >> 8) * (reg(5) >> 8)), 750); // r/min of a 4-pole motor at 25 Hz

    // Decelerating stop: 10 Hz a second down.
    QCOMPARE(port.AskAscii("010620000003"), std::string("010620000003"));
    rig.clock += 1250;
    QCOMPARE(rig.Status(0), 1250);
    QCOMPARE(rig.Status(5) & 0xFF, 1); // still turning
    rig.clock += 1250;
    QCOMPARE(rig.Status(0), 0);
    QCOMPARE(rig.Status(5) & 0xFF, 0);

    // Reverse, then free stop: the output drops at once.
    port.AskAscii("010620000002");
    rig.clock += 1000;
    QCOMPARE(rig.Status(0), 500);
    QCOMPARE(rig.Status(5) & 0xFF, 2);
    port.AskAscii("010620000004");
    QCOMPARE(rig.Status(0), 0);
    // START runs in the last direction (reverse).
    port.AskAscii("010620000008");
    rig.clock += 1000;
    QCOMPARE(rig.Status(5) & 0xFF, 2);
    port.AskAscii("010620000004");

    // Jog: F124 5 Hz with F125 1.0 s (50 Hz a second); jog is ignored while running.
    port.AskAscii("0106011801F4");
    port.AskAscii("01060119000A");
    port.AskAscii("010620000005");
    rig.clock += 50;
    QCOMPARE(rig.Status(0), 250);
    rig.clock += 1000;
    QCOMPARE(rig.Status(0), 500);
    QCOMPARE(port.AskAscii("010620000006"), std::string("010620000006"));
    rig.clock += 10000;
    QCOMPARE(rig.Status(0), 0);
    port.AskAscii("010620000001");
    rig.clock += 10000;
    port.AskAscii("010620000005");
    rig.clock += 10000;
    QCOMPARE(rig.Status(0), 2500); // still on the set frequency, not the jog one
  }

  void faultAndReset() {
    SimRig rig;
    QVERIFY(rig.Ready());
    rig.port->AskAscii("010620000001");
    rig.clock += 60000;
    QCOMPARE(rig.Status(0), 5000);
    QVERIFY(!rig.sim->InjectDriveFault(1, 3)); // not a fault code
    QVERIFY(!rig.sim->InjectDriveFault(1, 26));
    QVERIFY(!rig.sim->InjectDriveFault(9, 7)); // not served
    QVERIFY(rig.sim->InjectDriveFault(1, 7));
    QCOMPARE(rig.Status(5) & 0xFF, 7);
    QCOMPARE(rig.Status(0), 0);
    // The fault history: F708 the fault, F711 the frequency at the trip.
    QCOMPARE(rig.port->AskAscii("010307080001"), std::string("0103020007"));
    QCOMPARE(rig.port->AskAscii("0103070B0001"), std::string("0103021388"));
    // A tripped drive does not start, and stays tripped over time.
    QCOMPARE(rig.port->AskAscii("010620000001"), std::string("010620000001"));
    rig.clock += 10000;
    QCOMPARE(rig.Status(0), 0);
    QCOMPARE(rig.Status(5) & 0xFF, 7);
    QCOMPARE(rig.port->AskAscii("010620000009"), std::string("010620000009"));
    QCOMPARE(rig.Status(5) & 0xFF, 0);
    QCOMPARE(rig.sim->DriveFault(1), 0);
    // Every code 4..25 shows as the status code; the control command resets all.
    QVERIFY(ApplySimCommandOk(*rig.sim, "fault 1 25"));
    QCOMPARE(rig.Status(5) & 0xFF, 25);
    QVERIFY(ApplySimCommandOk(*rig.sim, "reset"));
    QCOMPARE(rig.Status(5) & 0xFF, 0);
  }

  void broadcastAndUnservedAddresses() {
    SimOptions options;
    options.drives = {1, 2, 3};
    SimRig rig(options);
    QVERIFY(rig.Ready());
    rig.port->Send(":000620000001" + ComputeLRC("000620000001") + "\r\n");
    QVERIFY(rig.port->ReceiveFor(400).empty());
    rig.clock += 60000;
    for (int a : {1, 2, 3})
      QCOMPARE(rig.Status(5, a) & 0xFF, 1);
    // Address 9 is not on the line: silence.
    QVERIFY(rig.port->AskAscii("090310000001", 400).empty());
    QCOMPARE(rig.sim->ReceivedFrames().size(), std::size_t(5));

    // A long run keeps only the latest requests.
    SimOptions limited;
    limited.recordLimit = 3;
    SimRig small(limited);
    QVERIFY(small.Ready());
    for (int i = 0; i < 5; ++i)
      QCOMPARE(small.Status(i), i == 3 ? 4 << 8 : i == 4 ? 537 : 0);
    QCOMPARE(small.sim->ReceivedFrames(),
             (std::vector<std::string>{":010310020001" + ComputeLRC("010310020001") + "\r\n",
                                       ":010310030001" + ComputeLRC("010310030001") + "\r\n",
                                       ":010310040001" + ComputeLRC("010310040001") + "\r\n"}));
  }

  void exceptionReplies() {
    SimRig rig;
    QVERIFY(rig.Ready());
    Port &port = *rig.port;
    QCOMPARE(port.AskAscii("010410000001"), std::string("018401")); // function 04
    QCOMPARE(port.AskAscii("010310000007"), std::string("018303")); // count 7 of the status block
    QCOMPARE(port.AskAscii("010310040003"), std::string("018302")); // beyond the block
    QCOMPARE(port.AskAscii("010310000000"), std::string("018303")); // count 0
    QCOMPARE(port.AskAscii("010620000007"), std::string("018603")); // command 0007
    QCOMPARE(port.AskAscii("01062000000C"), std::string("018603")); // past 000B
    QCOMPARE(port.AskAscii("01030E000001"), std::string("018302")); // past the parameters
    QCOMPARE(port.AskAscii("010301630001"), std::string("018302")); // F199: no such code
    QCOMPARE(port.AskAscii("010301000021"), std::string("018303")); // 33 registers
    QCOMPARE(port.AskAscii("010610000001"), std::string("018602")); // status is read-only
    QCOMPARE(port.AskAscii("0106010D9C41"), std::string("018603")); // F113 40001 > 400.00
    QCOMPARE(port.AskAscii("010601020001"), std::string("018603")); // F102 is read-only
    QCOMPARE(port.AskAscii("010601230001"), std::string("018603")); // F135 Reserved
    QVERIFY(port.AskRtu("010410000001", 300).empty());              // an RTU frame on an ASCII line: no reply
  }

  void parameters() {
    SimRig rig;
    QVERIFY(rig.Ready());
    Port &port = *rig.port;
    QCOMPARE(port.AskAscii("0103010D0001"), std::string("0103021388")); // F113 default 50.00
    QCOMPARE(port.AskAscii("0103010E0001"), std::string("0103020064")); // F114 10.0 s
    QCOMPARE(port.AskAscii("010301230001"), std::string("010302FFFF")); // F135 Reserved
    QCOMPARE(port.AskAscii("010300000001"), std::string("010302FFFF")); // F000 unnamed
    QCOMPARE(port.AskAscii("010301020001"), std::string("0103020060")); // F102 9.6 A, read-only
    // Limits are allowed: F113 0.00 and 400.00.
    QCOMPARE(port.AskAscii("0106010D0000"), std::string("0106010D0000"));
    QCOMPARE(port.AskAscii("0106010D9C40"), std::string("0106010D9C40"));
    QCOMPARE(rig.sim->Parameter(1, 0x010D), std::optional<std::uint16_t>(40000));
    QCOMPARE(port.AskAscii("0106010D13BA"), std::string("0106010D13BA"));
    // Several registers in one read: F111, F112, F113.
    QCOMPARE(port.AskAscii("0103010B0003"), std::string("01030613880032"
                                                        "13BA"));
    // Each drive has its own parameters.
    SimOptions two;
    two.drives = {1, 2};
    SimRig pair(two);
    QVERIFY(pair.Ready());
    pair.port->AskAscii("0106010D0FA0");
    QCOMPARE(pair.port->AskAscii("0203010D0001"), std::string("0203021388"));
    QCOMPARE(pair.port->AskAscii("0103010D0001"), std::string("0103020FA0"));
  }

  void rtuMode() {
    SimOptions options;
    options.rtu = true;
    SimRig rig(options);
    QVERIFY(rig.Ready());
    Port &port = *rig.port;
    QCOMPARE(port.AskRtu("010300000001"), std::string("010302FFFF"));
    QCOMPARE(port.AskRtu("010620000001"), std::string("010620000001"));
    rig.clock += 60000;
    // 50 Hz, 380 V, 5.00 A, 4 poles, 537 V, factor 100 and forward
    QCOMPARE(port.AskRtu("010310000006"), std::string("01030C1388017C01F4040002196401"));
    QCOMPARE(port.AskRtu("010620000007"), std::string("018603"));
    // A frame with a bad CRC gets no answer.
    port.Send(FromHex("0103000000018400"));
    QVERIFY(port.ReceiveFor(400).empty());
    std::vector<std::string> seen = rig.sim->ReceivedFrames();
    QCOMPARE(seen.front(), std::string("010300000001840A"));
    QCOMPARE(seen.back(), std::string("0103000000018400"));
  }

  void injectedLineFaults() {
    for (bool rtu : {false, true}) {
      SimOptions options;
      options.rtu = rtu;
      SimRig rig(options);
      QVERIFY(rig.Ready());
      Port &port = *rig.port;
      Bytes request = EncodeFrame(rtu ? FrameMode::Rtu : FrameMode::Ascii, FromHex("010300000001"));
      Bytes expected = EncodeFrame(rtu ? FrameMode::Rtu : FrameMode::Ascii, FromHex("010302FFFF"));
      auto complete = [&](const Bytes &b) { return b.size() >= expected.size(); };

      QVERIFY(ApplySimCommandOk(*rig.sim, "drop 1"));
      port.Send(request);
      QVERIFY(port.ReceiveFor(500).empty());

      QVERIFY(ApplySimCommandOk(*rig.sim, "off"));
      QVERIFY(ApplySimCommandOk(*rig.sim, "corrupt 1"));
      port.Send(request);
      Bytes corrupt = port.Receive(3000, complete);
      QCOMPARE(corrupt.size(), expected.size());
      if (rtu) {
        QVERIFY(ComputeCRC16(corrupt, 5) != BytesToHex(corrupt.data() + 5, 2));
        QCOMPARE(Bytes(corrupt.begin(), corrupt.begin() + 5), Bytes(expected.begin(), expected.begin() + 5));
      } else {
        std::string text = Text(corrupt);
        QCOMPARE(text.substr(0, 11), std::string(":010302FFFF"));
        QVERIFY(ComputeLRC("010302FFFF") != text.substr(11, 2));
        QCOMPARE(text.substr(13), std::string("\r\n"));
      }

      QVERIFY(ApplySimCommandOk(*rig.sim, "off"));
      QVERIFY(ApplySimCommandOk(*rig.sim, "split 3 300"));
      port.Send(request);
      Bytes first = port.Receive(3000, [](const Bytes &b) { return !b.empty(); });
      QVERIFY(!first.empty());
      Bytes rest = port.Receive(100, [](const Bytes &) { return false; });
      Bytes soFar = first;
      soFar.insert(soFar.end(), rest.begin(), rest.end());
      QVERIFY(soFar.size() < expected.size()); // the rest is still 300 ms away
      Bytes tail =
          port.Receive(5000, [&](const Bytes &b) { return soFar.size() + b.size() >= expected.size(); });
      soFar.insert(soFar.end(), tail.begin(), tail.end());
      QCOMPARE(soFar, expected);

      QVERIFY(ApplySimCommandOk(*rig.sim, "off"));
      QVERIFY(ApplySimCommandOk(*rig.sim, "late 600"));
      port.Send(request);
      QVERIFY(port.ReceiveFor(300).empty());
      Bytes late = port.Receive(5000, complete);
      QCOMPARE(late, expected);

      QVERIFY(ApplySimCommandOk(*rig.sim, "off"));
      QVERIFY(ApplySimCommandOk(*rig.sim, "garbage 1"));
      port.Send(request);
      Bytes garbage = port.Receive(3000, complete);
      QCOMPARE(garbage.size(), expected.size());
      if (rtu)
        QVERIFY(ComputeCRC16(garbage, garbage.size() - 2) !=
                BytesToHex(garbage.data() + garbage.size() - 2, 2));
      else
        QVERIFY(garbage.front() != ':');

      QVERIFY(ApplySimCommandOk(*rig.sim, "off"));
      port.Send(request);
      QCOMPARE(port.Receive(3000, complete), expected);
      // counted once the reply is out, a moment after its bytes are read
      QTRY_COMPARE(rig.sim->RepliesSent(), 5); // the dropped one never went out
    }
  }

  void controlCommandsAndDriveLists() {
    std::vector<int> drives;
    std::string error;
    QVERIFY(ParseDriveList("1-5", drives, error));
    QCOMPARE(drives, (std::vector<int>{1, 2, 3, 4, 5}));
    QVERIFY(ParseDriveList("1,3,4,20", drives, error));
    QCOMPARE(drives, (std::vector<int>{1, 3, 4, 20}));
    QVERIFY(ParseDriveList("1-2,247", drives, error));
    QCOMPARE(drives, (std::vector<int>{1, 2, 247}));
    for (const char *bad : {"0", "248", "5-1", "", "1,,2", "a", "1-", "-3"})
      QVERIFY2(!ParseDriveList(bad, drives, error), bad);

    DriveSimulator sim(SimOptions{});
    QVERIFY(ApplySimCommandOk(sim, "split 3 20"));
    QVERIFY(ApplySimCommandOk(sim, "drop 0.5"));
    QVERIFY(ApplySimCommandOk(sim, "late 800"));
    LineFaults faults = sim.Faults();
    QCOMPARE(faults.splitPieces, 3);
    QCOMPARE(faults.splitGapMs, 20);
    QCOMPARE(faults.dropProbability, 0.5);
    QCOMPARE(faults.lateMs, 800);
    for (const char *bad : {"drop 2", "drop", "corrupt x", "split 3", "late -1", "fault 1 3", "fault 2 7",
                            "jump", "off now", "drop 1 2 3"}) {
      QVERIFY2(!ApplySimCommand(sim, bad, error), bad);
      QVERIFY(!error.empty());
    }
    QCOMPARE(sim.Faults(), faults); // refused commands change nothing
    QVERIFY(ApplySimCommandOk(sim, "off"));
    QCOMPARE(sim.Faults(), LineFaults{});
  }

  void portReopenedManyTimes() {
    SimRig rig;
    QVERIFY(rig.Ready());
    std::string path = rig.sim->SlavePath();
    rig.port.reset();
    for (int i = 0; i < 30; ++i) {
      Port port(path);
      QVERIFY(port.IsOpen());
      if (i % 10 == 0)
        QCOMPARE(port.AskAscii("0103010D0001"), std::string("0103021388"));
    }
    Port port(path);
    QCOMPARE(port.AskAscii("010310000001"), std::string("0103020000"));

    // A user that locks the port and makes it exclusive keeps it so while it
    // holds the lock; once it is gone without closing properly, the line is
    // free again for the next user.
    int exclusive = -1;
    {
      Port user(path);
      QVERIFY(user.IsOpen());
      QCOMPARE(flock(user.Fd(), LOCK_EX | LOCK_NB), 0);
      QCOMPARE(ioctl(user.Fd(), TIOCEXCL), 0);
      QTest::qWait(1500); // the simulator looks at least twice in this time
      QCOMPARE(ioctl(port.Fd(), TIOCGEXCL, &exclusive), 0);
      QCOMPARE(exclusive, 1);
    }
    QTRY_VERIFY_WITH_TIMEOUT(ioctl(port.Fd(), TIOCGEXCL, &exclusive) == 0 && exclusive == 0, 10000);
    QCOMPARE(port.AskAscii("010310000001"), std::string("0103020000"));
  }

  void programLinkAndSignals() {
    QString program = qEnvironmentVariable("VDD_BUILD_DIR") + "/vossek-drive-sim";
    QVERIFY(QFile::exists(program));
    QTemporaryDir dir;
    // A regular file at the link path is never replaced.
    QString file = dir.filePath("COM2");
    { std::ofstream(file.toStdString()) << "keep me"; }
    QProcess refused;
    refused.start(program, {"--quiet", "--link", file});
    QVERIFY(refused.waitForFinished(10000));
    QVERIFY(refused.exitCode() != 0);
    QVERIFY(refused.readAllStandardError().contains("refusing"));
    std::ifstream in(file.toStdString());
    std::string content;
    std::getline(in, content);
    QCOMPARE(content, std::string("keep me"));

    // A stale link is replaced, the parent folder made, and the link removed at SIGTERM.
    QString link = dir.filePath("ports/sub/COM3");
    QVERIFY(CreateSymlinkOk("/nonexistent", link.toStdString()));
    QString control = dir.filePath("sim.ctl");
    QProcess sim;
    sim.start(program, {"--quiet", "--mode", "rtu", "--drives", "2,5", "--link", link, "--control", control,
                        "--fault", "2:9"});
    QVERIFY(sim.waitForReadyRead(10000));
    QString slave = QString::fromUtf8(sim.readLine()).trimmed();
    QVERIFY(slave.startsWith("/dev/"));
    QCOMPARE(QFileInfo(link).symLinkTarget(), slave);
    {
      Port port(link.toStdString());
      QCOMPARE(port.AskRtu("050310000001"), std::string("0503020000"));
      QVERIFY(port.AskRtu("010310000001", 300).empty());
      QCOMPARE(port.AskRtu("020310050001"), std::string("0203026409")); // tripped from the start
      // Commands through the control FIFO take effect while it runs.
      { std::ofstream(control.toStdString()) << "fault 5 12\nbogus\ndrop 1\n"; }
      QTRY_COMPARE_WITH_TIMEOUT(port.AskRtu("050310050001", 300), std::string(), 10000);
      { std::ofstream(control.toStdString()) << "off\n"; }
      QTRY_COMPARE_WITH_TIMEOUT(port.AskRtu("050310050001", 300), std::string("050302640C"), 10000);
    }
    sim.terminate();
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(control)); // the FIFO it made is gone too
  }

private:
  static bool ApplySimCommandOk(DriveSimulator &sim, const std::string &line) {
    std::string error;
    bool ok = ApplySimCommand(sim, line, error);
    if (!ok)
      qWarning("%s", error.c_str());
    return ok;
  }
  static bool CreateSymlinkOk(const std::string &target, const std::string &link) {
    std::string error;
    return CreateSymlink(target, link, error);
  }
};

QTEST_GUILESS_MAIN(TestSimDrive)
#include "test_sim_drive.moc"
