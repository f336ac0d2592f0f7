#include "drive/ScanList.h"

#include <QTest>

namespace {
std::vector<int> SeriesPolls(int from, int to, int steps) {
  ScanPosition state;
  state.ScanStarting = true;
  std::vector<int> polled;
  for (int i = 0; i < steps; ++i) {
    if (state.ScanStarting)
      ScanList::BeginSeries(state, from, to);
    polled.push_back(ScanList::NextSeriesAddress(state));
  }
  return polled;
}

std::vector<int> ListPolls(ScanPosition &state, int steps) {
  std::vector<int> polled;
  for (int i = 0; i < steps; ++i)
    polled.push_back(ScanList::NextListAddress(state));
  return polled;
}
} // namespace

class TestScanList : public QObject {
  Q_OBJECT
private slots:
  void seriesOrder() {
    QCOMPARE(SeriesPolls(3, 5, 7), (std::vector<int>{3, 4, 5, 3, 4, 5, 3}));
    // descending: the first address is polled twice at every restart
    QCOMPARE(SeriesPolls(5, 3, 11), (std::vector<int>{5, 4, 3, 5, 5, 4, 3, 5, 5, 4, 3}));
    QCOMPARE(SeriesPolls(7, 7, 3), (std::vector<int>{7, 7, 7}));
    QCOMPARE(SeriesPolls(1, 247, 248).back(), 1);

    // a restarted scan begins the range again
    ScanPosition state;
    state.ScanStarting = true;
    ScanList::BeginSeries(state, 3, 5);
    QCOMPARE(ScanList::NextSeriesAddress(state), 3);
    QCOMPARE(ScanList::NextSeriesAddress(state), 4);
    state.ScanAddress = 0;
    state.ScanStarting = true;
    ScanList::BeginSeries(state, 3, 5);
    QVERIFY(!state.ScanStarting);
    QCOMPARE(ScanList::NextSeriesAddress(state), 3);
  }

  void listParsing() {
    std::vector<std::uint8_t> list;
    ScanList::ListCheck result = ScanList::ParseList("1,3,4,20,", list);
    QVERIFY(result.check.Ok());
    QVERIFY(result.parsed);
    QCOMPARE(result.fieldText, std::string("1,3,4,20"));
    QCOMPARE(list, (std::vector<std::uint8_t>{1, 3, 4, 20}));

    ScanPosition state;
    state.ArbitraryList = list;
    QCOMPARE(ListPolls(state, 6), (std::vector<int>{1, 3, 4, 20, 1, 3}));
    QCOMPARE(state.ScanAddress, 3);

    result = ScanList::ParseList("1,300,4", list);
    QCOMPARE(result.check.message, std::string("Invalid data! Range:1-247!"));
    QVERIFY(!result.check.selectText);
    QCOMPARE(list, (std::vector<std::uint8_t>{1, 0, 0})); // kept up to the bad one

    result = ScanList::ParseList("1,3,300", list);
    QCOMPARE(result.check.message, std::string("Invalid input data! Valid range: 1-247."));
    QVERIFY(result.check.selectText);
    QCOMPARE(list, (std::vector<std::uint8_t>{1, 3, 0}));

    result = ScanList::ParseList("2,0", list);
    QCOMPARE(result.check.message, std::string("Invalid input data! Valid range: 1-247."));
    result = ScanList::ParseList("0,2", list);
    QCOMPARE(result.check.message, std::string("Invalid data! Range:1-247!"));
    result = ScanList::ParseList("1,,3", list); // an empty piece is no address
    QCOMPARE(result.check.message, std::string("Invalid data! Range:1-247!"));
    result = ScanList::ParseList("5,,", list); // one trailing comma goes, the empty last piece stays
    QCOMPARE(result.check.message, std::string("Invalid data! Range:1-247!"));
    QCOMPARE(result.fieldText, std::string("5,"));
    result = ScanList::ParseList("99999999999", list);
    QCOMPARE(result.check.message, std::string("Invalid input data! Valid range: 1-247."));

    list = {9};
    result = ScanList::ParseList("", list);
    QCOMPARE(result.check.message, std::string("Please input data!"));
    QVERIFY(!result.parsed);
    QCOMPARE(list, (std::vector<std::uint8_t>{9})); // untouched

    QVERIFY(ScanList::ParseList("247", list).check.Ok());
    QCOMPARE(list, (std::vector<std::uint8_t>{247}));
  }

  void listStepsSkipEmptyPlaces() {
    ScanPosition state;
    state.ArbitraryList = {0, 5, 0};
    QCOMPARE(ListPolls(state, 3), (std::vector<int>{5, 5, 5}));
    state.ArbitraryList = {0, 0};
    QCOMPARE(ScanList::NextListAddress(state), 0);
    state.ArbitraryList.clear();
    QCOMPARE(ScanList::NextListAddress(state), 0);
    // an index beyond a list that got shorter starts again at the front
    state.ArbitraryList = {4, 6};
    state.ArbitraryIndex = 5;
    QCOMPARE(ScanList::NextListAddress(state), 4);
  }

  void fieldChecks() {
    int period = 0;
    QCOMPARE(ScanList::CheckPeriod("", period).message, std::string("Please input data!"));
    QCOMPARE(ScanList::CheckPeriod("99", period).message,
             std::string("Invalid input data! Valid range: 100-360000."));
    QVERIFY(ScanList::CheckPeriod("99", period).selectText);
    QCOMPARE(ScanList::CheckPeriod("360001", period).message,
             std::string("Invalid input data! Valid range: 100-360000."));
    QCOMPARE(period, 0); // refused periods are not stored
    QVERIFY(ScanList::CheckPeriod("360000", period).Ok());
    QCOMPARE(period, 360000);
    QVERIFY(ScanList::CheckPeriod("100", period).Ok());
    QCOMPARE(period, 100);

    for (const char *bad : {"", "0", "248", "99999999999"})
      QCOMPARE(ScanList::CheckRangeField(bad).message, std::string("Invalid data!  Range:1-247!"));
    QVERIFY(ScanList::CheckRangeField("1").Ok());
    QVERIFY(ScanList::CheckRangeField("247").Ok());
  }
};

QTEST_GUILESS_MAIN(TestScanList)
#include "test_scan_list.moc"
