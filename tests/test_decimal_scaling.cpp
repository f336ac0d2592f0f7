// Scaling of parameter values between the decimal texts the user sees and the
// register integers the drive holds.
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "protocol/ConvertError.h"

#include <QTest>

using namespace DecimalScaling;

namespace {
// What the Modify button sends for an entered text: the text brought to the
// code's decimals and the register data, or "" when it does not fit.
std::pair<std::string, std::string> Scale(const std::string &text, const std::string &shortCode,
                                          const std::string &sep = ".") {
  const int d = DecimalPlaces(shortCode);
  const std::string t = NormalizeDecimals(text, d, sep);
  const auto raw = ToRegisterValue(t, d, sep);
  return {t, raw ? RegisterHex(*raw) : std::string()};
}
} // namespace

class TestDecimalScaling : public QObject {
  Q_OBJECT
private slots:
  void entered_values_are_cut_not_rounded() {
    // F113 has two decimals.
    QCOMPARE(Scale("50", "113"), std::make_pair(std::string("50.00"), std::string("1388")));
    QCOMPARE(Scale("50.5", "113"), std::make_pair(std::string("50.50"), std::string("13BA")));
    QCOMPARE(Scale("50.555", "113"), std::make_pair(std::string("50.55"), std::string("13BF")));
    QCOMPARE(Scale("50.559", "113"), std::make_pair(std::string("50.55"), std::string("13BF")));
    QCOMPARE(Scale(".5", "113"), std::make_pair(std::string("0.50"), std::string("0032")));
    QCOMPARE(Scale("7.", "113"), std::make_pair(std::string("7.00"), std::string("02BC")));
    // F007 has none: the fraction is dropped.
    QCOMPARE(Scale("7.9", "007"), std::make_pair(std::string("7"), std::string("0007")));
    QCOMPARE(Scale("7", "007"), std::make_pair(std::string("7"), std::string("0007")));
    // One and three decimals, letter groups.
    QCOMPARE(Scale("30", "114"), std::make_pair(std::string("30.0"), std::string("012C")));
    QCOMPARE(Scale("1.2", "134"), std::make_pair(std::string("1.200"), std::string("04B0")));
    QCOMPARE(Scale("1.", "134"), std::make_pair(std::string("1.000"), std::string("03E8")));
    QCOMPARE(Scale("1.23456", "C15"), std::make_pair(std::string("1.234"), std::string("04D2")));
    QCOMPARE(Scale("2.25", "A03"), std::make_pair(std::string("2.2"), std::string("0016")));
    QCOMPARE(NormalizeDecimals("", 2, "."), std::string());
  }

  void values_beyond_the_register_are_refused() {
    QCOMPARE(Scale("655.35", "113").second, std::string("FFFF"));
    QCOMPARE(Scale("655.36", "113").second, std::string());
    QCOMPARE(Scale("65535", "007").second, std::string("FFFF"));
    QCOMPARE(Scale("65536", "007").second, std::string());
    QCOMPARE(Scale("99999999999999999999", "007").second, std::string());
    QCOMPARE(Scale("00000000000000000012", "007").second, std::string("000C"));
    QCOMPARE(Scale("0", "113").second, std::string("0000"));
  }

  void malformed_values_raise_the_conversion_error() {
    // Two separators survive the cutting and must not be sent as a number.
    QVERIFY_THROWS_EXCEPTION(EConvertError, ToRegisterValue(NormalizeDecimals("1.2.3", 2, "."), 2, "."));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ToRegisterValue("-5", 0, "."));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ToRegisterValue("5x", 0, "."));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ParseDecimal("1.2.3", "."));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ParseDecimal("--", "."));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ParseDecimal("", "."));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ParseDecimal("1,5", "."));
  }

  void comma_locale() {
    QCOMPARE(Scale("50,5", "113", ","), std::make_pair(std::string("50,50"), std::string("13BA")));
    QCOMPARE(Scale("7,9", "007", ","), std::make_pair(std::string("7"), std::string("0007")));
    QCOMPARE(FormatRegisterValue(5050, 2, ","), std::string("50,50"));
    QCOMPARE(ParseDecimal("50,5", ","), 50.5);
    // The stored "." of a range limit becomes the locale's separator.
    QCOMPARE(ReplaceSeparator("0.00", ".", ","), std::string("0,00"));
    QCOMPARE(ReplaceSeparator("1.2.3", ".", ","), std::string("1,2,3"));
    QCOMPARE(ReplaceSeparator("50,00", ",", ","), std::string("50,00"));
    QCOMPARE(ReplaceSeparator("50.00", "", ","), std::string("50.00"));
    // A stored value written under another locale is read with the current one.
    QCOMPARE(WithSeparator("50,5", "."), std::string("50.5"));
    QCOMPARE(WithSeparator("50.5", ","), std::string("50,5"));
    QCOMPARE(WithSeparator("50.5", ""), std::string("50.5"));
  }

  void register_values_are_shown_with_their_decimals() {
    QCOMPARE(FormatRegisterValue(400, 2, "."), std::string("4.00"));
    QCOMPARE(FormatRegisterValue(4500, 2, "."), std::string("45.00"));
    QCOMPARE(FormatRegisterValue(5, 3, "."), std::string("0.005"));
    QCOMPARE(FormatRegisterValue(65534, 1, "."), std::string("6553.4"));
    QCOMPARE(FormatRegisterValue(7, 0, "."), std::string("7"));
    // The register a reply answers tells the decimals.
    QCOMPARE(RegisterDecimals(0x010D), 2); // F113
    QCOMPARE(RegisterDecimals(0x0A03), 1); // FA03
    QCOMPARE(RegisterDecimals(0x0C07), 3); // FC07
    QCOMPARE(RegisterDecimals(0x0007), 0); // F007
    QCOMPARE(RegisterDecimals(0x0164), 0); // low byte beyond 99: no code
    QCOMPARE(RegisterDecimals(0x0E01), 0); // group E is not provided for
  }

  void range_limits_compare_as_numbers() {
    QCOMPARE(ParseDecimal("50.00", "."), ParseDecimal("50", "."));
    QVERIFY(ParseDecimal("50.01", ".") > ParseDecimal("50.00", "."));
    QVERIFY(ParseDecimal("9.5", ".") < ParseDecimal("10", "."));
    QCOMPARE(ParseDecimal(" -1.5 ", "."), -1.5);
    QCOMPARE(ParseDecimal(".25", "."), 0.25);
  }
};

QTEST_APPLESS_MAIN(TestDecimalScaling)
#include "test_decimal_scaling.moc"
