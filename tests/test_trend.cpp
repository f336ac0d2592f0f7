// The trend window against a real scan of two simulated drives: its curves
// and its CSV export hold exactly the status replies of the history pane,
// a trip is marked, a hidden series is left out, the cursor reads values,
// the wheel zooms the time axis and the picture is saved.
#include "app/MainWindow.h"
#include "app/trend/TrendChartView.h"
#include "app/trend/TrendLegend.h"
#include "app/trend/TrendPens.h"
#include "app/trend/TrendWindow.h"
#include "support/DialogRecorder.h"
#include "support/MenuClicks.h"
#include "support/ScreenPicture.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"
#include "trend/TrendStore.h"

#include <QCategoryAxis>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QTableWidget>
#include <QTimer>
#include <QWheelEvent>

namespace {
// The CSV rows a status reply of the pane should give: "drive,frequency,
// current,output voltage,DC bus voltage,speed", worked out from the reply's
// registers here rather than by the program's decoding.
QStringList RowsFromPane() {
  static const QRegularExpression statusExchange(
      ":(0[12])0310000006../x0D/x0A  ----- R >   :\\g{1}030C([0-9A-F]{24})../x0D/x0A");
  QStringList rows;
  for (int i = 0; i < Form1->HistoryLineCount(); ++i) {
    const QRegularExpressionMatch match = statusExchange.match(Form1->HistoryLine(i));
    if (!match.hasMatch())
      continue;
    const QString registers = match.captured(2);
    auto reg = [&](int n) { return registers.mid(4 * n, 4).toUInt(nullptr, 16); };
    const unsigned divisor = (reg(3) >> 8) * (reg(5) >> 8);
    const unsigned speed = divisor ? reg(0) * 120 / divisor : 0;
    rows << QString("%1,%2,%3,%4,%5,%6")
                .arg(match.captured(1).toInt())
                .arg(reg(0) / 100.0, 0, 'f', 2)
                .arg(reg(2) / 100.0, 0, 'f', 2)
                .arg(reg(1) / 1.0, 0, 'f', 2)
                .arg(reg(4) / 1.0, 0, 'f', 2)
                .arg(speed / 1.0, 0, 'f', 2);
  }
  return rows;
}

// The texts the chart shows over its plot (hint, trip and reset names).
QStringList ShownTexts(QChart *chart) {
  QStringList texts;
  for (QGraphicsItem *item : chart->scene()->items())
    if (auto *text = dynamic_cast<QGraphicsSimpleTextItem *>(item); text && text->isVisible())
      texts << text->text();
  return texts;
}

// Pixels of exactly `color` in the chart as drawn.
int PixelsOf(TrendWindow *trend, const QColor &color) {
  const QImage image = trend->ChartView->grab().toImage();
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      count += image.pixelColor(x, y).rgb() == color.rgb();
  return count;
}

// The time axis has labels in `format`, on whole steps of the unit its
// title names ("Time (h:min:s, 10 s a tick)").
void ExpectRoundTicks(QChart *chart, const QString &unit, const QRegularExpression &format) {
  auto *axis = qobject_cast<QCategoryAxis *>(chart->axes(Qt::Horizontal).value(0));
  QVERIFY(axis != nullptr);
  QTRY_VERIFY(axis->categoriesLabels().size() >= 2 &&
              format.match(axis->categoriesLabels().first()).hasMatch());
  const QRegularExpressionMatch step =
      QRegularExpression(QString("(\\d+) %1 a tick\\)$").arg(unit)).match(axis->titleText());
  QVERIFY2(step.hasMatch(), qPrintable(axis->titleText()));
  const int every = step.captured(1).toInt();
  for (const QString &label : axis->categoriesLabels()) {
    QVERIFY2(format.match(label).hasMatch(), qPrintable(label));
    const int last = label.section(':', -1).toInt(); // seconds, or minutes without them
    QVERIFY2(last % every == 0, qPrintable(label + " " + axis->titleText()));
    // the label stands where its time is
    const QTime time = QTime::fromString(label, unit == "s" ? "HH:mm:ss" : "HH:mm");
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(axis->endValue(label)));
    QCOMPARE(at.time(), time);
  }
}

QLineSeries *Curve(QChart *chart, const QString &name) {
  for (QAbstractSeries *series : chart->series())
    if (series->name() == name)
      return qobject_cast<QLineSeries *>(series);
  return nullptr;
}
} // namespace

class TestTrend : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

private slots:
  void initTestCase() {
    SimOptions options;
    options.drives = {1, 2, 3}; // the third for the pictures only
    QVERIFY(rig_.StartRunning(options));
  }

  void cleanupTestCase() { rig_.TearDown(); }

  void scannedDrives() {
    // scan drives 1 to 2, run drive 1 up, trip it
    QTest::mouseClick(Form1->SeriesStop, Qt::LeftButton);
    QTest::keyClick(Form1->SeriesStop, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(Form1->SeriesStop, "2");
    ChooseFromMenu(Form1, Form1->Trend1);
    auto *trend = Form1->findChild<TrendWindow *>();
    QVERIFY(trend != nullptr);
    QTRY_VERIFY(trend->isVisible());
    QChart *chart = trend->ChartView->chart();
    // nothing scanned: a hint says what to do
    QTRY_VERIFY(ShownTexts(chart).join('\n').contains("Start \"Period Scan\""));
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    // from the first sample on, the time axis is labelled on round steps
    QTRY_VERIFY_WITH_TIMEOUT(trend->PlottedPointCount(1, 0) > 0, 30000);
    QTRY_VERIFY(!ShownTexts(chart).join('\n').contains("Start \"Period Scan\""));
    ExpectRoundTicks(chart, "s", QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$"));
    if (QTest::currentTestFailed())
      return;
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    const CommState &s = Form1->State;
    QTRY_VERIFY_WITH_TIMEOUT(s.AcceptedReplies >= 8, 30000);
    // the drives in colours of their own, named with their quantities' units
    // in the legend
    QTRY_VERIFY(PixelsOf(trend, TrendPens::DriveColor(0)) > 20 &&
                PixelsOf(trend, TrendPens::DriveColor(1)) > 20);
    QCOMPARE(
        trend->Legend->Texts(),
        QStringList(
            {"Drive 1: Frequency (Hz), Current (A), Output Voltage (V), DC Bus Voltage (V), Speed (r/min)",
             "Drive 2: Frequency (Hz), Current (A), Output Voltage (V), DC Bus Voltage (V), Speed (r/min)"}));
    // five minutes: a tick a minute or more, labelled without seconds
    trend->WindowLength->setFocus();
    QTest::keyClick(trend->WindowLength, Qt::Key_Down);
    QCOMPARE(trend->WindowLength->currentText(), QString("5 min"));
    ExpectRoundTicks(chart, "min", QRegularExpression("^\\d\\d:\\d\\d$"));
    if (QTest::currentTestFailed())
      return;
    QTest::keyClick(trend->WindowLength, Qt::Key_Up);
    QVERIFY(rig_.sim->InjectDriveFault(1, 4)); // "OC"
    const long long tripped = s.AcceptedReplies;
    QTRY_VERIFY_WITH_TIMEOUT(s.AcceptedReplies >= tripped + 4, 30000);
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton); // Pause
    QTRY_VERIFY_WITH_TIMEOUT(!s.WaitingReply, 10000);
    QTest::qWait(300); // the last redraw

    // hide the speed of drive 2: a click on its cell and the space bar
    QTableWidget *table = trend->SeriesTable;
    QCOMPARE(table->rowCount(), 2);
    chart = trend->ChartView->chart();
    QCOMPARE(table->verticalHeaderItem(1)->text(), QString("Drive 2"));
    QTableWidgetItem *speed2 = table->item(1, 4);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(speed2).center());
    QTest::keyClick(table, Qt::Key_Space);
    QCOMPARE(speed2->checkState(), Qt::Unchecked);
    QVERIFY(!Curve(chart, "Drive 2 Speed (r/min)")->isVisible());
    QCOMPARE(trend->PlottedPointCount(2, 4), 0);
    QVERIFY(trend->PlottedPointCount(1, 0) > 0);

    // the trip of drive 1 is marked once
    auto *trips = qobject_cast<QScatterSeries *>(chart->series().last());
    QVERIFY(trips != nullptr);
    QCOMPARE(trips->name(), QString("Drive 2 trips"));
    QVERIFY(ShownTexts(chart).contains("Drive 1: OC")); // the trip named
    QCOMPARE(trips->count(), 0);
    for (QAbstractSeries *series : chart->series())
      if (series->name() == "Drive 1 trips")
        QCOMPARE(qobject_cast<QScatterSeries *>(series)->count(), 1);

    // the export holds every status reply of the pane, drive by drive
    const QString csvPath = rig_.folder.filePath("trend.csv");
    dialogs_.QueuePath(csvPath);
    QTest::mouseClick(trend->ExportCsvButton, Qt::LeftButton);
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.takeFirst(), QString("time,drive,Frequency (Hz),Current (A),Output Voltage (V),"
                                        "DC Bus Voltage (V),Speed (r/min),status"));
    QStringList exported;
    QStringList statuses;
    for (const QString &line : lines) {
      QStringList fields = line.split(',');
      statuses << fields.last();
      exported << fields.mid(1, 6).join(',');
    }
    QStringList expected = RowsFromPane();
    std::stable_sort(expected.begin(), expected.end(), [](const QString &a, const QString &b) {
      return a.section(',', 0, 0) < b.section(',', 0, 0);
    });
    for (QString &row : expected)
      if (row.startsWith("2,"))
        row = row.section(',', 0, 4) + ","; // the hidden speed is left empty
    QVERIFY2(expected.size() >= 8, qPrintable(Form1->HistoryLine(3) + "\n" + exported.join('|')));
    QCOMPARE(exported, expected);
    QVERIFY(statuses.contains("Forward Start"));
    QVERIFY(statuses.contains("OC"));

    // the cursor reads the values under the pointer
    QWidget *plot = trend->ChartView->viewport();
    const QPoint middle = trend->ChartView->mapFromScene(chart->plotArea().center());
    QMouseEvent move(QEvent::MouseMove, middle, plot->mapToGlobal(middle), Qt::NoButton, {}, {});
    QApplication::sendEvent(plot, &move);
    QTRY_VERIFY2(trend->CursorLabel->text().contains("Drive 1: Frequency"),
                 qPrintable(trend->CursorLabel->text()));

    // a wheel turn zooms the time axis around the pointer
    const qint64 span = trend->ShownTo() - trend->ShownFrom();
    QWheelEvent wheel(middle, plot->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(plot, &wheel);
    QVERIFY(qAbs((trend->ShownTo() - trend->ShownFrom()) - span * 0.8) < 2);

    const QString pngPath = rig_.folder.filePath("trend.png");
    dialogs_.QueuePath(pngPath);
    QTest::mouseClick(trend->ExportPngButton, Qt::LeftButton);
    QVERIFY(!QImage(pngPath).isNull());
  }

  // An hour of samples drawn 100 columns wide keeps every peak, the first and
  // the last sample, in time order, with at most four points a column.
  void decimationKeepsPeaks() {
    TrendStore store;
    for (int i = 0; i < 36000; ++i)
      store.Add(1, i * 100LL, {i == 12345 ? 99.0 : i == 23456 ? -5.0 : 10.0, 0, 0, 0, 0}, 1);
    const std::vector<TrendStore::Point> points = store.Decimated(1, TrendStore::Frequency, 0, 3600000, 100);
    QVERIFY(points.size() <= 400);
    QCOMPARE(points.front().time, 0LL);
    QCOMPARE(points.back().time, 3599900LL);
    QVERIFY(std::is_sorted(points.begin(), points.end(), [](auto &a, auto &b) { return a.time < b.time; }));
    auto has = [&](std::int64_t time, float value) {
      return std::any_of(points.begin(), points.end(),
                         [&](auto &p) { return p.time == time && p.value == value; });
    };
    QVERIFY(has(1234500, 99.0f));
    QVERIFY(has(2345600, -5.0f));
  }

  // Past its number of samples a drive's oldest go, and a trip mark with
  // them; the retention alone would keep them.
  void keepsAtMostItsSamples() {
    TrendStore store(3600 * 1000, 100);
    for (int i = 0; i < 150; ++i)
      store.Add(1, i, {double(i), 0, 0, 0, 0}, 10); // tripped from the first sample on
    QCOMPARE(store.Faults(1).size(), std::size_t(0));
    QCOMPARE(store.SampleCount(1), std::size_t(100));
    const std::vector<TrendStore::Sample> samples = store.Samples(1, 0, 1000);
    QCOMPARE(samples.size(), std::size_t(100));
    QCOMPARE(samples.front().time, 50LL);
    QCOMPARE(samples.back().values[TrendStore::Frequency], 149.0f);
  }

  // Pictures of the trend (only when a folder is given): three drives run
  // up to 50, 35 and 20 Hz, drive 2 trips and is reset at the drive; the
  // last minute, the last five and the exported picture.
  void screenshots() {
    const QString folder = qEnvironmentVariable("VDD_SCREENSHOT_DIR");
    if (folder.isEmpty())
      QSKIP("VDD_SCREENSHOT_DIR not set");
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    for (int drive = 1; drive <= 3; ++drive)
      QVERIFY(rig_.sim->SetParameter(drive, 0x010D, static_cast<std::uint16_t>(6500 - 1500 * drive)));
    QTest::mouseClick(Form1->SeriesStop, Qt::LeftButton);
    QTest::keyClick(Form1->SeriesStop, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(Form1->SeriesStop, "3");
    // each drive started from the address box
    for (const char *drive : {"3", "2", "1"}) {
      QLineEdit *address = Form1->MachineID->lineEdit();
      QTest::mouseClick(address, Qt::LeftButton);
      QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(address, drive);
      QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
      QTest::qWait(500);
    }
    ChooseFromMenu(Form1, Form1->Trend1);
    auto *trend = Form1->findChild<TrendWindow *>();
    QVERIFY(trend != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(trend));
    trend->WindowLength->setCurrentText("1 min");
    QTest::mouseClick(trend->LiveButton, Qt::LeftButton);
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTest::qWait(12000);
    rig_.sim->InjectDriveFault(2, 4); // "OC"
    QTest::qWait(4000);
    rig_.sim->ResetDriveFaults();
    QTest::qWait(5000);
    QVERIFY(trend->grab().save(QDir(folder).filePath("trend_1min.png")));
    QVERIFY(SaveScreenPicture(folder, "screen_trend_1min.png"));
    trend->WindowLength->setCurrentText("5 min");
    QTest::qWait(500);
    QVERIFY(trend->grab().save(QDir(folder).filePath("trend_5min.png")));
    QVERIFY(SaveScreenPicture(folder, "screen_trend_5min.png"));
    dialogs_.QueuePath(QDir(folder).filePath("trend_export.png"));
    QTest::mouseClick(trend->ExportPngButton, Qt::LeftButton);
    QVERIFY(QFile::exists(QDir(folder).filePath("trend_export.png")));
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
  }
};

VDD_TEST_MAIN(TestTrend)
#include "test_trend.moc"
