// The history pane's lines and the traffic log's lines of a scan whose
// exchanges end in every way (accepted, wrong checksum, no response, a late
// reply, not sent), word for word as the user has always read them. Times
// and measured milliseconds are masked; everything else must match.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "log/TrafficLog.h"
#include "serial/TComm.h"
#include "support/DialogRecorder.h"
#include "support/MenuClicks.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QCheckBox>
#include <QDate>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextEdit>

namespace {
QString Masked(QString line) {
  static const QRegularExpression stamp(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\])");
  static const QRegularExpression logTime(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3},)");
  static const QRegularExpression roundTrip(R"(,[\d.]+$)");
  static const QRegularExpression millis(R"(\d[\d,]* ms)");
  line.replace(stamp, "[T]");
  line.replace(logTime, "T,");
  line.replace(roundTrip, ",RTT");
  line.replace(millis, "N ms");
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
    ChooseFromPopupMenu(Form1->SendRevHistory->viewport(), Form1->clear1);
    auto *log = Form1->findChild<TrafficLog *>("TrafficLog");
    log->Flush();
    const qsizetype logBefore = TrafficLogLines().size();
    ProtocolSet->CompleteOnReply->setChecked(completeOnReply);
    rig_.ChoosePort(rtu);
    if (!rig_.ApplyPort())
      return {};
    const CommState &s = Form1->State;
    const long long accepted = s.AcceptedReplies;
    const int errors = s.ErrorRecords, timeouts = s.TimeoutRecords;
    Form1->TimeoutMs = 100;
    Form1->SeriesStart->setText("1");
    Form1->SeriesStop->setText("1");
    Form1->ScanPeriod->setText("100");
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    [&] { QVERIFY(s.ScanRunning); }();

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

    QStringList lines;
    for (int line = 0; line < Form1->HistoryLineCount(); ++line)
      lines << Masked(Form1->HistoryLine(line));
    log->Flush();
    for (const QString &line : TrafficLogLines().mid(logBefore))
      lines << Masked(line);
    return lines;
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
};

VDD_TEST_MAIN(TestHistoryText)
#include "test_history_text.moc"
