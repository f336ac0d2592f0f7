#include "params/ParameterCodes.h"
#include "params/Rm40Parameters.h"
#include "protocol/ConvertError.h"

#include <QTest>

#include <cmath>
#include <set>
#include <string>

namespace {

// Decimals written after the "." of a delivered value text.
int DecimalsOf(const std::string &value) {
  const auto dot = value.find('.');
  return dot == std::string::npos ? 0 : static_cast<int>(value.size() - dot - 1);
}

} // namespace

class TestParameterCodes : public QObject {
  Q_OBJECT
private slots:
  void decimalPlacesTable() {
    // single entries of each class
    QCOMPARE(DecimalPlaces("102"), 1);
    QCOMPARE(DecimalPlaces("113"), 2);
    QCOMPARE(DecimalPlaces("134"), 3);
    QCOMPARE(DecimalPlaces("905"), 1);
    QCOMPARE(DecimalPlaces("738"), 2);
    QCOMPARE(DecimalPlaces("244"), 3);
    // range bounds and their neighbours
    QCOMPARE(DecimalPlaces("518"), 2);
    QCOMPARE(DecimalPlaces("519"), 1);
    QCOMPARE(DecimalPlaces("548"), 1);
    QCOMPARE(DecimalPlaces("549"), 0);
    QCOMPARE(DecimalPlaces("556"), 0);
    QCOMPARE(DecimalPlaces("557"), 1);
    QCOMPARE(DecimalPlaces("572"), 1);
    QCOMPARE(DecimalPlaces("573"), 0);
    QCOMPARE(DecimalPlaces("503"), 0);
    QCOMPARE(DecimalPlaces("504"), 2);
    QCOMPARE(DecimalPlaces("461"), 0);
    QCOMPARE(DecimalPlaces("462"), 2);
    QCOMPARE(DecimalPlaces("473"), 2);
    QCOMPARE(DecimalPlaces("474"), 0);
    QCOMPARE(DecimalPlaces("113"), 2);
    QCOMPARE(DecimalPlaces("114"), 1);
    QCOMPARE(DecimalPlaces("117"), 1);
    QCOMPARE(DecimalPlaces("119"), 0);
    QCOMPARE(DecimalPlaces("100"), 0);
    QCOMPARE(DecimalPlaces("123"), 0);
    // letter groups: A..D become 10..13
    QCOMPARE(DecimalPlaces("A03"), 1);
    QCOMPARE(DecimalPlaces("A02"), 0);
    QCOMPARE(DecimalPlaces("A28"), 0);
    QCOMPARE(DecimalPlaces("A29"), 1);
    QCOMPARE(DecimalPlaces("A32"), 1);
    QCOMPARE(DecimalPlaces("A33"), 0);
    QCOMPARE(DecimalPlaces("A09"), 2);
    QCOMPARE(DecimalPlaces("A60"), 2);
    QCOMPARE(DecimalPlaces("C07"), 3);
    QCOMPARE(DecimalPlaces("C15"), 3);
    QCOMPARE(DecimalPlaces("C35"), 1);
    QCOMPARE(DecimalPlaces("C36"), 0);
    QCOMPARE(DecimalPlaces("B03"), 0);
    QCOMPARE(DecimalPlaces("D01"), 0);
    // codes that give no number have no decimals
    QCOMPARE(DecimalPlaces("E03"), 0);
    QCOMPARE(DecimalPlaces("F13"), 0);
    QCOMPARE(DecimalPlaces(""), 0);
    QCOMPARE(DecimalPlaces("11"), 0);
    QCOMPARE(DecimalPlaces("1133"), 0);
    QCOMPARE(DecimalPlaces("1x3"), 0);
  }

  void parameterRegister() {
    QCOMPARE(ParameterRegister("113"), std::string("010D"));
    QCOMPARE(ParameterRegister("007"), std::string("0007"));
    QCOMPARE(ParameterRegister("A03"), std::string("0A03"));
    QCOMPARE(ParameterRegister("C35"), std::string("0C23"));
    QCOMPARE(ParameterRegister("999"), std::string("0963"));
    QCOMPARE(ParameterRegister("510"), std::string("050A"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ParameterRegister("1A3"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, ParameterRegister("1"));
  }

  void deliveredListIsConsistent() {
    const auto &list = Rm40Parameters();
    QVERIFY(list.size() >= 150 && list.size() <= 320);
    std::set<std::string> seen;
    std::string previous;
    int unnamed = 0, reserved = 0, readOnly = 0;
    for (const Rm40Parameter &p : list) {
      const std::string code = p.code;
      QVERIFY2(code.size() == 4 && code[0] == 'F', p.code);
      QVERIFY2(code > previous, p.code); // strictly ascending, so no duplicates
      previous = code;
      QVERIFY(seen.insert(code).second);
      QVERIFY(p.min && p.max && p.def);
      const std::string shortCode = code.substr(1);
      QVERIFY_THROWS_NO_EXCEPTION(ParameterRegister(shortCode));
      if (!p.name) {
        ++unnamed;
        QVERIFY2(!p.writeable, p.code);
        continue;
      }
      if (std::string(p.name) == "Reserved") {
        ++reserved;
        QVERIFY2(!p.writeable, p.code);
      }
      const std::string min = p.min, max = p.max, def = p.def;
      if (min == "--" || max == "--") {
        ++readOnly;
        QVERIFY2(!p.writeable, p.code);
        continue;
      }
      // ranges carry exactly the decimals the drive scales the value by
      const int d = DecimalPlaces(shortCode);
      QVERIFY2(DecimalsOf(min) == d && DecimalsOf(max) == d && DecimalsOf(def) == d, p.code);
      const double lo = std::stod(min), hi = std::stod(max), dv = std::stod(def);
      QVERIFY2(lo <= dv && dv <= hi, p.code);
      // the scaled maximum still fits one register
      QVERIFY2(std::llround(hi * std::pow(10.0, d)) <= 0xFFFF, p.code);
    }
    QVERIFY(unnamed >= 5);
    QVERIFY(reserved >= 2);
    QVERIFY(readOnly >= 5);
  }

  void commonParametersStandAtTheirRecordNumbers() {
    // position among the named records in CODE order, as the grid lists them
    std::vector<std::string> listed;
    for (const Rm40Parameter &p : Rm40Parameters())
      if (p.name)
        listed.push_back(p.code);
    const std::pair<const char *, int> expected[] = {{"F113", 11}, {"F114", 12}, {"F115", 13},
                                                     {"F124", 21}, {"F125", 22}, {"F126", 23}};
    for (const auto &[code, row] : expected) {
      QVERIFY2(static_cast<int>(listed.size()) > row, code);
      QCOMPARE(listed[row], std::string(code));
    }
    const auto find = [](const std::string &code) -> const Rm40Parameter * {
      for (const Rm40Parameter &p : Rm40Parameters())
        if (code == p.code)
          return &p;
      return nullptr;
    };
    const Rm40Parameter *frequency = find("F113");
    QVERIFY(frequency);
    QCOMPARE(std::string(frequency->min), std::string("0.00"));
    QCOMPARE(std::string(frequency->max), std::string("400.00"));
    QCOMPARE(std::string(frequency->def), std::string("50.00"));
    const Rm40Parameter *startFrequency = find("F105");
    QVERIFY(startFrequency && startFrequency->name && startFrequency->writeable);
  }
};

QTEST_GUILESS_MAIN(TestParameterCodes)
#include "test_parameter_codes.moc"
