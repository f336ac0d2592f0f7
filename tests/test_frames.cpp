#include "log/TimeStampText.h"
#include "protocol/ConvertError.h"
#include "protocol/FrameCodec.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"
#include "protocol/ReplyCheck.h"
#include "protocol/UnitCheck.h"

#include <QTest>
#include <optional>

namespace {
std::string Text(const std::vector<std::uint8_t> &bytes) { return BytesToHex(bytes.data(), bytes.size()); }

// An RTU reply as hex text with its CRC appended.
std::string WithCrc(const std::string &hex) {
  const std::vector<std::uint8_t> bytes = HexTextToBytes(hex);
  return hex + ComputeCRC16(bytes, bytes.size());
}

std::vector<std::uint8_t> Wire(const std::string &text) { return {text.begin(), text.end()}; }

ReplyExtent::State StateOf(const Codec &codec, const std::vector<std::uint8_t> &received, std::size_t count,
                           const Unit &request) {
  return codec.extent(std::span(received).first(count), request).state;
}

// The rejection a framed reply earns, as the wire carries it.
ReplyRejection Rejection(const Codec &codec, const std::vector<std::uint8_t> &wire,
                         const std::string &request) {
  return RejectionOfUnit(codec, wire, codec.unwrap(wire), UnitOfBody(request));
}
} // namespace

class TestFrames : public QObject {
  Q_OBJECT
private slots:
  void asciiEnvelope() {
    QCOMPARE(AsciiFrameText("010300000001"), std::string(":010300000001FB"));
    QCOMPARE(AsciiFrameText("010620000001"), std::string(":010620000001D8"));
    // the body is not validated in ASCII: it goes out as given
    QCOMPARE(AsciiFrameText("01x3"), std::string(":01x3") + ComputeLRC("01x3"));
  }

  void rtuEnvelope() {
    RtuFrame frame = BuildRtuFrame("010300000001", false);
    QCOMPARE(Text(frame.bytes), std::string("010300000001840A"));
    QCOMPARE(frame.text, std::string("010300000001840A"));
    QCOMPARE(frame.bytes.size(), std::size_t(8));

    // a sequence step sent without checksum: the body's bytes alone
    frame = BuildRtuFrame("010300000001", true);
    QCOMPARE(Text(frame.bytes), std::string("010300000001"));
    QCOMPARE(frame.text, std::string("010300000001"));

    // lower-case digits are hex digits too
    QCOMPARE(Text(BuildRtuFrame("0a0620000001", false).bytes),
             Text(BuildRtuFrame("0A0620000001", false).bytes));
  }

  void rtuPairThatIsNoHexNumberRaises() {
    for (const std::string body : {"010G00000001", "01 300000001", "01-300000001", "01.5"}) {
      try {
        BuildRtuFrame(body, false);
        QFAIL(("no error for " + body).c_str());
      } catch (const EConvertError &error) {
        const std::string pair = body.substr(2, 2);
        QCOMPARE(std::string(error.what()), "'$" + pair + "' is not a valid integer value");
      }
    }
    QVERIFY_THROWS_EXCEPTION(EConvertError, HexPairsToBytes("zz"));
  }

  void refusedBodies() {
    QVERIFY(BodyRefusal("010300000001", false, false).empty());
    QVERIFY(BodyRefusal("010300000001", true, false).empty());
    QVERIFY(!BodyRefusal("", false, false).empty());
    QVERIFY(!BodyRefusal("0103000000010", false, false).empty()); // odd, either mode
    QVERIFY(!BodyRefusal("0103000000010", true, false).empty());
    QVERIFY(!BodyRefusal("0103000000010", false, true).empty());

    // the RTU send buffer holds 101 bytes, CRC included
    const std::string bytes99(99 * 2, '1');
    const std::string bytes100(100 * 2, '1');
    const std::string bytes101(101 * 2, '1');
    const std::string bytes102(102 * 2, '1');
    QVERIFY(BodyRefusal(bytes99, true, false).empty());
    QVERIFY(!BodyRefusal(bytes100, true, false).empty());
    QVERIFY(BodyRefusal(bytes101, true, true).empty());
    QVERIFY(!BodyRefusal(bytes102, true, true).empty());
    // ASCII has no such buffer
    QVERIFY(BodyRefusal(bytes102, false, false).empty());
  }

  void timeStamp() {
    QCOMPARE(FormatTimeStamp({2026, 12, 6, 16, 9, 4, 71}), std::string("[2026-12-06 16:09:04:071]"));
    QCOMPARE(FormatTimeStamp({2027, 1, 31, 0, 0, 59, 999}), std::string("[2027-01-31 00:00:59:999]"));
    const LocalTime now = CurrentLocalTime();
    QVERIFY(now.year >= 2024);
    QVERIFY(now.month >= 1 && now.month <= 12);
    QVERIFY(now.millisecond >= 0 && now.millisecond <= 999);
    QCOMPARE(FormatTimeStamp(now).size(), std::string("[2026-12-06 16:09:04:071]").size());

    // An exchange's time: a second's text serves only the lines of that
    // second and that zone offset.
    const qint64 t = QDateTime(QDate(2026, 12, 6), QTime(16, 9, 4), Qt::UTC).toMSecsSinceEpoch();
    const auto history = [](qint64 ms, int offset) {
      return TimeStampText::History(QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offset));
    };
    QCOMPARE(history(t + 71, 0), QString("[2026-12-06 16:09:04:071]"));
    QCOMPARE(history(t + 999, 0), QString("[2026-12-06 16:09:04:999]"));
    QCOMPARE(history(t + 1000, 0), QString("[2026-12-06 16:09:05:000]"));
    QCOMPARE(history(t + 1000, 3600), QString("[2026-12-06 17:09:05:000]"));
    QCOMPARE(history(t - 1, 0), QString("[2026-12-06 16:09:03:999]"));
    QString logged;
    TimeStampText::AppendLog(logged, QDateTime::fromMSecsSinceEpoch(t + 5, Qt::OffsetFromUTC, -3600));
    TimeStampText::AppendLog(logged, QDateTime::fromMSecsSinceEpoch(t + 1005, Qt::OffsetFromUTC, -3600));
    QCOMPARE(logged, QString("2026-12-06 15:09:04.0052026-12-06 15:09:05.005"));
  }

  void asciiReplySplit() {
    AsciiReply reply = SplitAsciiReply(":0103020001F9\r\n");
    QVERIFY(reply.wellFormed);
    QCOMPARE(reply.body, std::string("0103020001F9"));
    QCOMPARE(Text(reply.bytes), std::string("0103020001F9"));
    QCOMPARE(reply.text, std::string(":0103020001F9/x0D/x0A"));

    // malformed frames keep the received text as it came
    for (const std::string text : {":0103020001F9\r", "0103020001F9\r\n", ":0103020001f9\r\n",
                                   ":01030200 1F9\r\n", ":0103020001F9\n\r"}) {
      reply = SplitAsciiReply(text);
      QVERIFY2(!reply.wellFormed, text.c_str());
      QCOMPARE(reply.text, text);
    }
    // too short to hold anything: no crash, not well formed
    for (const std::string text : {"", ":", "\r\n", ":\r"})
      QVERIFY(!SplitAsciiReply(text).wellFormed);
  }

  void replyChecks() {
    // ASCII: status read from drive 1
    QCOMPARE(CheckReply("0103020001F9", "010310000001", false), ReplyFault::None);
    QCOMPARE(CheckReply("0203020001F8", "010310000001", false), ReplyFault::Address);
    QCOMPARE(CheckReply("01830271", "010310000001", false), ReplyFault::Function); // exception reply
    QCOMPARE(CheckReply("0103020001F8", "010310000001", false), ReplyFault::Checksum);
    QCOMPARE(CheckReply("0103", "010310000001", false), ReplyFault::Checksum);
    QCOMPARE(CheckReply("", "010310000001", false), ReplyFault::Address);
    // the case of the request's digits does not matter
    QCOMPARE(CheckReply("0A03020001F0", "0a0310000001", false), ReplyFault::None);

    // RTU
    QCOMPARE(CheckReply("01030200017984", "010310000001", true), ReplyFault::None);
    QCOMPARE(CheckReply("01030200017985", "010310000001", true), ReplyFault::Checksum);
    QCOMPARE(CheckReply("018302C0F1", "010310000001", true), ReplyFault::Function);
    QCOMPARE(CheckReply("01", "010310000001", true), ReplyFault::Function);

    // a reply longer than the 50-byte reply store is checked whole
    std::string data;
    for (int i = 0; i < 40; ++i)
      data += ByteToHex(static_cast<std::uint8_t>(i)) + "00";
    const std::string longReply = WithCrc("010350" + data); // 85 bytes
    QCOMPARE(longReply.size(), std::size_t(85 * 2));
    QCOMPARE(CheckReply(longReply, "010300000028", true), ReplyFault::None);
    std::string damaged = longReply;
    damaged[150] = damaged[150] == '0' ? '1' : '0'; // a byte past the 50th
    QCOMPARE(CheckReply(damaged, "010300000028", true), ReplyFault::Checksum);
    const std::string asciiLong = "010350" + data;
    QCOMPARE(CheckReply(asciiLong + ComputeLRC(asciiLong), "010300000028", false), ReplyFault::None);

    // A right checksum over a byte count that does not fit the data or the
    // registers asked for is no value.
    QCOMPARE(CheckReply("010300FC", "0103010D0001", false), ReplyFault::Length);
    QCOMPARE(CheckReply(WithCrc("010300"), "0103010D0001", true), ReplyFault::Length);
    QCOMPARE(CheckReply("01030C1A00D6", "010310000006", false), ReplyFault::Length);
    QCOMPARE(CheckReply("0103020001F9", "010310000006", false), ReplyFault::Length);
    QCOMPARE(CheckReply("0106010DEB", "0106010D1388", false), ReplyFault::Length);
    QCOMPARE(CheckReply(WithCrc("0106010D1388"), "0106010D1388", true), ReplyFault::None);
    // two registers for one asked: a drive's late answer to an earlier read
    QCOMPARE(CheckReply(WithCrc("01030400010002"), "0103010D0001", true), ReplyFault::Length);
    // more data than the byte count says, under a right checksum
    QCOMPARE(CheckReply(WithCrc("01030200010002"), "010301000001", true), ReplyFault::Length);
    // a write repeated with another value confirms nothing
    QCOMPARE(CheckReply(WithCrc("0106010D0CE5"), "0106010D0D05", true), ReplyFault::Value);
  }

  void codecRoundTrips() {
    const Unit request = UnitOfBody("010300000001");
    QCOMPARE(Text(Codecs::Rtu.frame(request, 0)), std::string("010300000001840A"));
    QCOMPARE(Codecs::Ascii.frame(request, 0), Wire(":010300000001FB\r\n"));
    QCOMPARE(Text(Codecs::Tcp.frame(request, 0x1234)), std::string("1234000000060103000000"
                                                                   "01"));
    const Unit reply = UnitOfBody("0103020001");
    for (const Framing framing : {Framing::Rtu, Framing::Ascii, Framing::Tcp}) {
      const Codec &codec = CodecOf(framing);
      QCOMPARE(codec.framing, framing);
      std::vector<std::uint8_t> wire = codec.frame(reply, 7);
      const Unwrapped taken = codec.unwrap(wire);
      QCOMPARE(taken.fault, Unwrapped::Fault::None);
      QCOMPARE(taken.unit, reply);
      QCOMPARE(CheckUnit(taken.unit, true, request), ReplyFault::None);
      // a reply split in pieces is whole only with its last byte, and ends there
      for (std::size_t n = 0; n < wire.size(); ++n)
        QCOMPARE(StateOf(codec, wire, n, request), ReplyExtent::State::Incomplete);
      wire.push_back(0x55); // what came after it
      const ReplyExtent whole = codec.extent(wire, request);
      QCOMPARE(whole.state, ReplyExtent::State::Complete);
      QCOMPARE(whole.length, wire.size() - 1);
    }
    QCOMPARE(Codecs::Tcp.unwrap(Codecs::Tcp.frame(reply, 0x1207)).transaction, std::uint16_t(0x1207));
  }

  void codecExtents() {
    const Unit read = UnitOfBody("010310000006");
    const std::vector<std::uint8_t> refusal = Codecs::Rtu.frame(UnitOfBody("018302"), 0);
    QCOMPARE(StateOf(Codecs::Rtu, refusal, 4, read), ReplyExtent::State::Incomplete);
    QCOMPARE(Codecs::Rtu.extent(refusal, read).length, std::size_t(5));
    // another address, another function: only the silence ends it
    QCOMPARE(Codecs::Rtu.extent(HexTextToBytes("0203"), read).state, ReplyExtent::State::UnknownLength);
    QCOMPARE(Codecs::Rtu.extent(HexTextToBytes("0110"), read).state, ReplyExtent::State::UnknownLength);
    QCOMPARE(Codecs::Rtu.extent(HexTextToBytes("0106"), UnitOfBody("010620000001")).length, std::size_t(0));
    QCOMPARE(StateOf(Codecs::Rtu, HexTextToBytes("01060000000000"), 7, UnitOfBody("010620000001")),
             ReplyExtent::State::Incomplete);
    // a length field no reply can have
    QCOMPARE(Codecs::Tcp.extent(HexTextToBytes("000100000001"), read).state,
             ReplyExtent::State::UnknownLength);
    QCOMPARE(Codecs::Tcp.extent(HexTextToBytes("000100000100"), read).state,
             ReplyExtent::State::UnknownLength);
  }

  void codecRefusals() {
    const std::string read = "010300000001";
    // one byte longer than its byte count, under a right checksum
    for (const Codec *codec : {&Codecs::Rtu, &Codecs::Ascii, &Codecs::Tcp}) {
      const std::vector<std::uint8_t> wire = codec->frame(UnitOfBody("010302000100"), 1);
      QCOMPARE(codec->unwrap(wire).fault, Unwrapped::Fault::None);
      QCOMPARE(Rejection(*codec, wire, read).kind, ReplyRejection::Kind::Length);
      const std::vector<std::uint8_t> refused = codec->frame(UnitOfBody("018302"), 1);
      QCOMPARE(Rejection(*codec, refused, read), (ReplyRejection{ReplyRejection::Kind::Exception, 2}));
    }
    // an LRC that covers one byte less
    const std::string body = "0103020001";
    const std::vector<std::uint8_t> shortLrc = Wire(":" + body + ComputeLRC(body.substr(0, 8)) + "\r\n");
    QCOMPARE(Codecs::Ascii.unwrap(shortLrc).fault, Unwrapped::Fault::Checksum);
    QCOMPARE(Rejection(Codecs::Ascii, shortLrc, read).kind, ReplyRejection::Kind::Checksum);
    for (const std::string text :
         {":0103020001f9\r\n", "0103020001F9\r\n", ":0103020001F9\r", ":\r\n", ":0\r\n"})
      QCOMPARE(Codecs::Ascii.unwrap(Wire(text)).fault, Unwrapped::Fault::Malformed);
    // Modbus TCP: the transaction id told apart, the header's faults named
    std::vector<std::uint8_t> tcp = Codecs::Tcp.frame(UnitOfBody("0103020001"), 0x0129);
    QCOMPARE(Codecs::Tcp.unwrap(tcp).transaction, std::uint16_t(0x0129));
    QVERIFY(Codecs::Tcp.unwrap(Codecs::Tcp.frame(UnitOfBody("0103020001"), 0x0229)).transaction != 0x0129);
    tcp.push_back(0);
    QCOMPARE(Codecs::Tcp.unwrap(tcp).fault, Unwrapped::Fault::LengthField);
    tcp.pop_back();
    tcp[3] = 1;
    QCOMPARE(Codecs::Tcp.unwrap(tcp).fault, Unwrapped::Fault::Protocol);
    QCOMPARE(Codecs::Tcp.unwrap(HexTextToBytes("000100000001")).fault, Unwrapped::Fault::Malformed);
    // RTU: a right reply after a byte of noise
    QCOMPARE(Rejection(Codecs::Rtu, HexTextToBytes("00" + WithCrc("0103020001")), read).kind,
             ReplyRejection::Kind::NoiseBefore);
  }

  // The checks of units name every reply as the checks of hex text do,
  // however short or damaged it is.
  void unitChecksAgreeWithTextChecks() {
    const std::vector<std::string> requests = {"010310000006", "010300000001", "0106010D1388"};
    const std::vector<std::string> rtu = {"",
                                          "01",
                                          "0103",
                                          "010300",
                                          "01030200",
                                          "018302C0F1",
                                          WithCrc("0103020001"),
                                          WithCrc("0203020001"),
                                          WithCrc("0106010D1388"),
                                          WithCrc("0106010D0CE5"),
                                          WithCrc("010300"),
                                          WithCrc("01030200010002"),
                                          "00" + WithCrc("0103020001"),
                                          "0000" + WithCrc("018302"),
                                          WithCrc("01030C000100020003000400050006")};
    using Verdict = std::optional<ReplyRejection>; // none: accepted
    const auto byText = [](const std::string &text, const std::string &body, const std::string &request,
                           bool rtu) -> Verdict {
      if (CheckReply(body, request, rtu) == ReplyFault::None)
        return std::nullopt;
      return ClassifyRejection(text, body, request, rtu);
    };
    const auto byUnit = [](const Codec &codec, const std::vector<std::uint8_t> &wire,
                           const std::string &request) -> Verdict {
      const Unwrapped taken = codec.unwrap(wire);
      if (CheckUnit(taken.unit, taken.fault == Unwrapped::Fault::None, UnitOfBody(request)) ==
          ReplyFault::None)
        return std::nullopt;
      return RejectionOfUnit(codec, wire, taken, UnitOfBody(request));
    };
    for (const std::string &request : requests) {
      for (const std::string &reply : rtu)
        QVERIFY2(byUnit(Codecs::Rtu, HexTextToBytes(reply), request) == byText(reply, reply, request, true),
                 (request + " " + reply).c_str());
      for (const std::string body : {"01", "0103", "FF01", "010", "01030", "0103020001F9", "0103020001F8",
                                     "01830278", "0106010D1388D1", "01030C1A00D6", "0203020001F8"}) {
        const std::string text = ":" + body + "\r\n";
        const AsciiReply split = SplitAsciiReply(text);
        QVERIFY2(byUnit(Codecs::Ascii, Wire(text), request) == byText(split.text, split.body, request, false),
                 (request + " " + body).c_str());
      }
    }
  }

  void consumerByRegister() {
    QCOMPARE(ConsumerOfReply(3, "01030100000001"), ReplyConsumer::ReadParameter);
    QCOMPARE(ConsumerOfReply(3, "010310000006"), ReplyConsumer::DriveStatus);
    QCOMPARE(ConsumerOfReply(3, "010320000001"), ReplyConsumer::None);
    QCOMPARE(ConsumerOfReply(6, "01060A030064"), ReplyConsumer::ModifyParameter);
    QCOMPARE(ConsumerOfReply(6, "01063A030064"), ReplyConsumer::None);
    QCOMPARE(ConsumerOfReply(6, "0106010D1388"), ReplyConsumer::ModifyParameter);
    QCOMPARE(ConsumerOfReply(6, "010620000001"), ReplyConsumer::ControlLamps);
    QCOMPARE(ConsumerOfReply(6, "010610000001"), ReplyConsumer::None);
    QCOMPARE(ConsumerOfReply(16, "011020000001"), ReplyConsumer::None);
    QCOMPARE(ConsumerOfReply(3, "0103"), ReplyConsumer::None);
    QVERIFY_THROWS_EXCEPTION(EConvertError, ConsumerOfReply(3, "0103X0000001"));
  }
};

QTEST_APPLESS_MAIN(TestFrames)
#include "test_frames.moc"
