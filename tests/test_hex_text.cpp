#include "protocol/ConvertError.h"
#include "protocol/HexText.h"

#include <QTest>

class TestHexText : public QObject {
  Q_OBJECT
private slots:
  void checksums() {
    QCOMPARE(ComputeLRC("010300000001"), std::string("FB"));
    QCOMPARE(ComputeLRC("010620000001"), std::string("D8"));
    QCOMPARE(ComputeLRC(""), std::string("00"));
    QCOMPARE(ComputeLRC("0103000000010"), std::string("FB")); // trailing odd digit ignored
    QCOMPARE(ComputeLRC("0A0620000001"), std::string("CF"));
    QCOMPARE(ComputeCRC16({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, 6), std::string("840A"));
    QCOMPARE(ComputeCRC16({}, 0), std::string("FFFF"));
    std::vector<std::uint8_t> digits;
    for (char c : std::string("123456789"))
      digits.push_back(static_cast<std::uint8_t>(c));
    QCOMPARE(ComputeCRC16(digits, 9), std::string("374B"));
    // only the first count bytes are covered
    QCOMPARE(ComputeCRC16({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}, 6), std::string("840A"));
  }

  void hexConversions() {
    QCOMPARE(HexToByte("1G"), std::uint8_t(0x11));
    QCOMPARE(HexToByte("123"), std::uint8_t(0x23));
    QCOMPARE(HexToByte("a0"), std::uint8_t(0xA0));
    QCOMPARE(HexToByte("A"), std::uint8_t(10));
    QCOMPARE(HexToByte("G1"), std::uint8_t(0x01));
    QCOMPARE(ByteToHex(0x0F), std::string("0F"));
    QCOMPARE(HexToInt(""), 0);
    QCOMPARE(HexToInt("00FF"), 255);
    QCOMPARE(HexToInt("ff"), 255);
    QCOMPARE(HexToInt("FFFF"), 65535);
    try {
      HexToInt("1G");
      QFAIL("1G must raise the conversion error");
    } catch (const EConvertError &e) {
      QCOMPARE(QString(e.what()), QString("'G' is not a valid integer value"));
    }
    QCOMPARE(StrToInt("$1A"), 26);
    QCOMPARE(StrToInt(" 12"), 12);
    QVERIFY_THROWS_EXCEPTION(EConvertError, StrToInt(""));
    QVERIFY_THROWS_EXCEPTION(EConvertError, StrToInt("12a"));
  }

  void textHelpers() {
    QVERIFY(!HasNonHexDigit(":0103020001F9\r\n"));
    QVERIFY(HasNonHexDigit(":0103020001f9\r\n"));
    QVERIFY(!HasNonHexDigit(":x\r"));
    QCOMPARE(RightChars("12345", 2), std::string("45"));
    QCOMPARE(RightChars("12345", 9), std::string("12345"));
    QCOMPARE(LeftChars("12345", 1), std::string("1"));
    QVERIFY(IsAllDigits("  123 "));
    QVERIFY(IsAllDigits(""));
    QVERIFY(!IsAllDigits("12a"));
    QCOMPARE(CountOccurrences("1,2,3", ","), 2);
    QCOMPARE(CountOccurrences("abab", "ab"), 4);
    QCOMPARE(CountOccurrences("abc", ""), 0);
  }

  void padDecimals() {
    LocaleDecimalSeparator = ".";
    QCOMPARE(PadDecimals("12.5", 2), std::string("12.50"));
    QCOMPARE(PadDecimals("12", 2), std::string("12.00"));
    QCOMPARE(PadDecimals("12.345", 2), std::string("12.345"));
    QCOMPARE(PadDecimals("7", 1), std::string("7.0"));
    QCOMPARE(PadDecimals("7", 0), std::string("7"));
    LocaleDecimalSeparator = ",";
    QCOMPARE(PadDecimals("7", 1), std::string("7,0"));
    QCOMPARE(PadDecimals("7,25", 3), std::string("7,250"));
  }
};

QTEST_GUILESS_MAIN(TestHexText)
#include "test_hex_text.moc"
