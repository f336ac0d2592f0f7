// Lines that misbehave, against the program as a user drives it: a drive
// answering long after its reply window, a slave answering twice, an
// adapter that echoes requests, noise before a reply, a drive that repeats a
// write with another value, a command sent while Broadcast is ticked. No
// value may be stored from a reply that is not its request's own.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "protocol/HexText.h"
#include "serial/TComm.h"
#include "session/DriveStatusModel.h"
#include "session/FunctionTable.h"
#include "settings/DataFolder.h"
#include "sim/DriveSimulator.h"
#include "support/DialogRecorder.h"
#include "support/FastLine.h"
#include "support/MenuClicks.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

namespace {
constexpr int kRecords = 28; // the function table file is cut to its first records
constexpr int kRunMs = 120000;

bool Idle() {
  const CommState &s = Form1->State;
  return !s.ReadAllActive && !s.WaitingReply && !Form1->State.ReadPending && !s.QuietWindowPending &&
         s.ReceiveBuffer.empty();
}

QByteArray FileDigest(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {};
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
}

// Marks every record of a dBASE file after the first `keep` as deleted.
bool KeepFirstRecords(const QString &path, int keep) {
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite))
    return false;
  QByteArray bytes = file.readAll();
  const auto word = [&](int at) { return quint8(bytes[at]) | quint8(bytes[at + 1]) << 8; };
  const int records = word(4) | word(6) << 16;
  const int header = word(8);
  const int length = word(10);
  for (int record = keep; record < records; ++record)
    bytes[header + record * length] = '*';
  return file.seek(0) && file.write(bytes) == bytes.size();
}
} // namespace

class TestReplyTrust : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;
  int inFlight_ = 0;
  int mostInFlight_ = 0;
  int lines_ = 0; // lines used so far

  QString Table() const { return AppPaths::DataFolder() + Form1->FunctionTableFile; }

  // The line at 38400 baud, ASCII or RTU, replies judged at the end of their
  // window or as soon as complete, with the drive behaving as `faults` say.
  void UseLine(bool rtu, bool completeOnReply, const LineFaults &faults, int replyWindowMs = 100) {
    rig_.sim->SetLineFaults(faults);
    ProtocolSet->CompleteOnReply->setChecked(completeOnReply);
    UseFastLine(replyWindowMs);
    ProtocolSet->ModbusMode->setCurrentText(rtu ? "RTU" : "ASCII");
    Form1->ApplyPortSettings();
    QTRY_VERIFY(Form1->Comm1->PortOpen());
    ++lines_;
    // values of their own, new with every line, so that one stored into
    // another record or one not read shows
    for (int record = 0; record < Form1->Functions->RecordCount(); ++record) {
      Form1->Functions->MoveTo(record);
      const std::string code = Form1->Functions->ShortCode().toStdString();
      rig_.sim->SetParameter(1, static_cast<std::uint16_t>(std::stoi(ParameterRegister(code), nullptr, 16)),
                             static_cast<std::uint16_t>(11 + record * 7 + 200 * lines_));
    }
  }

  // Read all clicked as the user does, to its end; the message it ended with.
  QString ReadAll() {
    dialogs_.Clear();
    mostInFlight_ = 0;
    QTest::mouseClick(Form1->ReadAll, Qt::LeftButton);
    if (!QTest::qWaitFor([] { return Idle(); }, kRunMs)) {
      const CommState &s = Form1->State;
      qWarning("active %d waiting %d pending %d quiet %d buffer %zu index %d", s.ReadAllActive,
               s.WaitingReply, Form1->State.ReadPending, s.QuietWindowPending, s.ReceiveBuffer.size(),
               s.ReadAllIndex);
      for (int line = std::max(0, Form1->HistoryLineCount() - 8); line < Form1->HistoryLineCount(); ++line)
        qWarning("%s", qPrintable(Form1->HistoryLine(line)));
      return "read all did not end";
    }
    return dialogs_.LastText();
  }

  // The stored values, record by record, as the file holds them.
  static QStringList Stored() {
    QStringList values;
    Form1->Functions->Reopen(0);
    for (int record = 0; record < Form1->Functions->RecordCount(); ++record) {
      Form1->Functions->MoveTo(record);
      values << Form1->Functions->Text("NOWDATA");
    }
    return values;
  }

  // Records whose value changed since `before` into one that is not the
  // drive's own; `unread` counts those left as they were.
  QStringList WronglyStored(const QStringList &before, int *unread = nullptr) {
    QStringList wrong;
    const QStringList after = Stored();
    for (int record = 0; record < after.size(); ++record) {
      Form1->Functions->MoveTo(record);
      const std::string code = Form1->Functions->ShortCode().toStdString();
      const auto raw =
          rig_.sim->Parameter(1, static_cast<std::uint16_t>(std::stoi(ParameterRegister(code), nullptr, 16)));
      const QString own = QString::fromStdString(
          DecimalScaling::FormatRegisterValue(*raw, DecimalPlaces(code), LocaleDecimalSeparator));
      if (after[record] == before.value(record) && after[record] != own) {
        if (unread)
          ++*unread;
      } else if (after[record] != own) {
        wrong << QString::fromStdString(code) + "=" + after[record];
      }
    }
    return wrong;
  }

  // "Read" chosen in the user's command with the keys, as a user does.
  static void ChooseRead() {
    Form1->RandW->setFocus();
    QTest::keyClick(Form1->RandW, Qt::Key_Home);
    QCOMPARE(Form1->RandW->currentText(), QString("Read"));
  }

  bool HistoryShows(const QString &text) const {
    for (int line = 0; line < Form1->HistoryLineCount(); ++line)
      if (Form1->HistoryLine(line).contains(text))
        return true;
    return false;
  }

  // The adapter echo chosen in "ProtocolSettings" with the arrow keys, then OK.
  static void ChooseEcho(const QString &word) {
    QTest::mouseClick(Form1->UProtocol, Qt::LeftButton);
    QTRY_VERIFY(ProtocolSet->isVisible());
    ProtocolSet->Echo->setFocus();
    QTest::keyClick(ProtocolSet->Echo, Qt::Key_Home);
    for (int down = QStringList{"off", "on", "detect"}.indexOf(word); down > 0; --down)
      QTest::keyClick(ProtocolSet->Echo, Qt::Key_Down);
    QCOMPARE(ProtocolSet->Echo->currentText(), word);
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton);
    QTRY_VERIFY(!ProtocolSet->isVisible() && Form1->Comm1->PortOpen());
  }

  // The user's command sent to `address` as the user types and clicks it.
  void SendUserCommand(const QString &address, bool read, const QString &registerText, const QString &data) {
    ClickTab(Form1->PageControl1, 0);
    Form1->UdefineMachine->setEditText(address);
    if (read) {
      ChooseRead();
    } else {
      Form1->RandW->setFocus();
      QTest::keyClick(Form1->RandW, Qt::Key_End);
    }
    Form1->UdefineAddr->setText(registerText);
    Form1->Edit7->setText(data);
    QTest::mouseClick(Form1->UserDefineSend, Qt::LeftButton);
  }

  QString TrafficLogText() const {
    QFile log(AppPaths::DataFolder() + "logs/traffic-" + QDate::currentDate().toString("yyyy-MM-dd") +
              ".csv");
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
  }

private slots:
  void initTestCase() {
    if (!rig_.UseProgramFolder())
      return;
    QCOMPARE(EnsureDataFolder(AppPaths::DataFolder()), QString());
    SimOptions options;
    options.baud = 38400;
    options.followRequestMode = true;
    if (!rig_.StartSimulator(options))
      return;
    CreateApplicationWindows();
    Form1->show();
    Form1->activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Activated, 20000);
    UseFastLine(100);
    QVERIFY(KeepFirstRecords(Table(), kRecords));
    Form1->Functions->Reopen(0);
    QVERIFY(Form1->Functions->RecordCount() >= 10);
    ClickTab(Form1->PageControl1, 1);
    // A request goes out only when no other is on the line.
    connect(Form1->Engine, &TExchangeEngine::ExchangeStarted, this,
            [this] { mostInFlight_ = std::max(mostInFlight_, ++inFlight_); });
    connect(Form1->Engine, &TExchangeEngine::ReplyAccepted, this, [this] { inFlight_ = 0; });
    connect(Form1->Engine, &TExchangeEngine::ReplyRejected, this, [this] { inFlight_ = 0; });
    connect(Form1->Engine, &TExchangeEngine::ReplyMissing, this, [this] { inFlight_ = 0; });
  }

  void cleanupTestCase() {
    DestroyApplicationWindows();
    rig_.sim.reset();
  }

  // A drive answering 4.5 reply windows late: nothing stored from another
  // parameter's reply, and the run ends saying how late the drive is.
  void lateDriveStoresNoOtherValue() {
    Form1->CheckBox2->setChecked(true); // go on past failed records: every one fails
    for (bool completeOnReply : {false, true}) {
      UseLine(false, completeOnReply, {.lateMs = 450});
      const QStringList before = Stored();
      const QString ending = ReadAll();
      QCOMPARE(WronglyStored(before), QStringList());
      QCOMPARE(ending.section('\n', 0, 0), QString("Have finished reading all codes!"));
      QVERIFY2(ending.contains(
                   QRegularExpression("\nDrive 1 answers after about [4-6]00 ms; the time-out is 100 ms")),
               qPrintable(ending));
      QCOMPARE(mostInFlight_, 1);
      QVERIFY(HistoryShows("drive 1 answers after about"));
    }
    if (const QString folder = qEnvironmentVariable("VDD_SCREENSHOT_DIR"); !folder.isEmpty())
      QVERIFY(Form1->grab().save(folder + "/history_late_drive.png"));
    Form1->CheckBox2->setChecked(false);
  }

  // A slave that answers twice (1 and 10 ms after the reply), an adapter
  // that echoes every request not said to (the drive answering 20 ms after
  // the refused echo), noise before every reply: read all stores nothing
  // wrongly and never has two requests on the line.
  void brokenLinesStoreNothingWrongly() {
    Form1->CheckBox2->setChecked(true); // go on past failed records
    const struct {
      LineFaults faults;
      bool completeOnReply;
      bool everyValueRead;
      int latencyMs;
    } lines[] = {{{.twiceGapMs = 1}, true, true, 0},
                 {{.twiceGapMs = 10}, true, true, 0},
                 {{.echo = true}, true, false, 20},
                 {{.noiseBytes = 2}, false, false, 0}};
    for (const auto &line : lines) {
      rig_.sim->SetLatency(line.latencyMs);
      UseLine(true, line.completeOnReply, line.faults);
      const QStringList before = Stored();
      const QString ending = ReadAll();
      int unread = 0;
      const QStringList wrong = WronglyStored(before, &unread);
      QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(' ')));
      QCOMPARE(ending.section('\n', 0, 0), QString("Have finished reading all codes!"));
      // an answer within its window after a refused frame is no late drive's
      QVERIFY2(!ending.contains("answers after"), qPrintable(ending));
      // what failed is told after the first line
      // (a line that repeats replies is learnt and waited for: nothing need fail there)
      if (line.faults.twiceGapMs < 0)
        QVERIFY2(ending.contains(QRegularExpression("\n\\d+ replies taken, [1-9]\\d* failed")),
                 qPrintable(ending));
      if (line.everyValueRead)
        QCOMPARE(unread, 0);
      else
        QVERIFY(unread > 0);
      QCOMPARE(mostInFlight_, 1);
    }
    rig_.sim->SetLatency(0);
    Form1->CheckBox2->setChecked(false);
    // The reply after the noise is right, and named for what spoiled it.
    QVERIFY(TrafficLogText().contains(",error reply,noise before the frame,"));
  }

  // Broadcast ticked, the user's command reads 010D of drive 1: the drive
  // answers, and nothing is stored in the function table.
  void commandUnderBroadcastStoresNothing() {
    UseLine(false, false, {});
    const QByteArray before = FileDigest(Table());
    ClickTab(Form1->PageControl1, 0);
    QTest::mouseClick(Form1->CheckBox1, Qt::LeftButton, {}, QPoint(8, Form1->CheckBox1->height() / 2));
    QCOMPARE(Form1->MachineIDText(), QString("0"));
    Form1->UdefineMachine->setEditText("1");
    ChooseRead();
    Form1->UdefineAddr->setText("010D");
    Form1->Edit7->setText("1");
    const long long accepted = Form1->State.AcceptedReplies;
    QTest::mouseClick(Form1->UserDefineSend, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->State.AcceptedReplies, accepted + 1, 10000);
    QTRY_VERIFY(Idle());
    QTest::mouseClick(Form1->CheckBox1, Qt::LeftButton, {}, QPoint(8, Form1->CheckBox1->height() / 2));
    Form1->Functions->WriteKeptValues();
    QCOMPARE(FileDigest(Table()), before);
  }

  // After a time-out a line carries a stray byte every 150 ms: FREE STOP
  // clicked goes out in the quiet that follows, the quiet ends however the
  // line chatters, and its stray bytes come as one line.
  void stopGoesOutThroughChatter() {
    UseLine(false, false, {.dropProbability = 1}, 300);
    ChooseFromPopupMenu(Form1->SendRevHistory->viewport(), Form1->clear1); // this line's history only
    ClickTab(Form1->PageControl1, 0);
    Form1->UdefineMachine->setEditText("1");
    ChooseRead();
    Form1->UdefineAddr->setText("0100");
    Form1->Edit7->setText("1");
    const int timeouts = Form1->State.TimeoutRecords;
    QTest::mouseClick(Form1->UserDefineSend, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->State.TimeoutRecords, timeouts + 1, 10000);
    std::uint32_t seed = 1;
    QTimer chatter;
    connect(&chatter, &QTimer::timeout, this, [&] { rig_.sim->SendBurst(1, seed++); });
    chatter.start(150);
    QTest::qWait(600);
    QVERIFY(Form1->State.QuietWindowPending);
    rig_.sim->ClearReceivedFrames();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(Form1->UFreeStop, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!rig_.sim->ReceivedFrames().empty(), 10000);
    qInfo("FREE STOP on the line %lld ms after the click", clock.elapsed());
    QVERIFY(rig_.sim->ReceivedFrames().front().starts_with(":01062000"));
    // The stop got no answer either; its quiet ends while the bytes go on.
    QTRY_VERIFY_WITH_TIMEOUT(!Form1->State.QuietWindowPending && !Form1->State.WaitingReply, 10000);
    QTest::qWait(1500);
    chatter.stop();
    int lateLines = 0;
    for (int line = 0; line < Form1->HistoryLineCount(); ++line)
      lateLines += Form1->HistoryLine(line).contains("Late reply, not taken");
    QVERIFY2(lateLines <= 2, qPrintable(QString::number(lateLines)));
    QVERIFY(Form1->HistoryLineCount() <= 101);
  }

  // Write all to a drive that repeats every write with another value: the
  // run's last word counts every write as failed, the last one too.
  void writeAllCountsItsLastWrite() {
    UseLine(true, true, {});
    QCOMPARE(ReadAll().section('\n', 0, 0), QString("Have finished reading all codes!")); // values to write
    rig_.sim->SetLineFaults({.skewWrites = true});
    ClickTab(Form1->PageControl1, 1);
    Form1->CheckBox2->setChecked(true); // go on past failed records
    rig_.sim->ClearReceivedFrames();
    dialogs_.Clear();
    QTest::mouseClick(Form1->WriteAll, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Form1->State.WriteAllActive && Idle(), kRunMs);
    Form1->CheckBox2->setChecked(false);
    const int writes = static_cast<int>(rig_.sim->ReceivedFrames().size());
    QVERIFY(writes > 0);
    const QString ending = dialogs_.LastText();
    QCOMPARE(ending.section('\n', 0, 0), QString("Have finished writing all codes!"));
    QVERIFY2(
        ending.contains(QString("\n0 replies taken, %1 failed (%1 error replies, 0 time-outs)").arg(writes)),
        qPrintable(ending));
  }

  // An adapter that hands every request back before the reply. Detected,
  // the echo is discarded: read all stores every value of the drive, and
  // the port state says what was found. Off, no reply is taken from its
  // own echo: a read names it, and a write to a drive that is not there is
  // not confirmed by its echo (which equals its correct reply). On, a line
  // that does not echo gives error replies named for it.
  void echoingAdapter() {
    Form1->CheckBox2->setChecked(true); // go on past failed records
    for (const bool rtu : {false, true}) {
      UseLine(rtu, true, {.echo = true});
      ChooseEcho("detect");
      // the line's first request a FWD START to a drive that is not there:
      // the echo is learnt before it, so its own echo confirms nothing
      ClickTab(Form1->PageControl1, 0);
      Form1->MachineID->setEditText("9");
      const long long acceptedBefore = Form1->State.AcceptedReplies;
      const int timeouts = Form1->State.TimeoutRecords;
      QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
      // the status read that learns the echo, then the write: each unanswered
      QTRY_COMPARE_WITH_TIMEOUT(Form1->State.TimeoutRecords, timeouts + 2, 10000);
      QTRY_VERIFY(Idle());
      QCOMPARE(Form1->State.AcceptedReplies, acceptedBefore);
      QVERIFY(Form1->UrunShape->BrushColor() != int(LampColor::Green));
      Form1->MachineID->setEditText("1");
      const QStringList before = Stored();
      const QString ending = ReadAll();
      int unread = 0;
      QCOMPARE(WronglyStored(before, &unread), QStringList());
      QCOMPARE(unread, 0);
      QCOMPARE(ending, QString("Have finished reading all codes!"));
      QVERIFY2(Form1->StatusBar1->PanelText(0).contains("adapter echoes requests: echo discarded"),
               qPrintable(Form1->StatusBar1->PanelText(0)));
      // a scan of drive 1 reads its own status through the echo
      ClickTab(Form1->PageControl1, 0);
      QSignalSpy statuses(Form1->DriveStatus, &DriveStatusModel::StatusDecoded);
      const int errorsBeforeScan = Form1->State.ErrorRecords;
      QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(statuses.count() >= 3, 20000);
      QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
      QTRY_VERIFY(Idle());
      QCOMPARE(Form1->State.ErrorRecords, errorsBeforeScan);
      const auto block = rig_.sim->StatusBlock(1);
      QVERIFY(block);
      for (const QList<QVariant> &status : statuses)
        QCOMPARE(status.at(0).value<DriveStatusReading>().values.dcVoltage, double(block->at(4)));

      ChooseEcho("off");
      QVERIFY(!Form1->StatusBar1->PanelText(0).contains("echo"));
      const long long accepted = Form1->State.AcceptedReplies;
      int errors = Form1->State.ErrorRecords;
      SendUserCommand("9", true, "1000", "1");
      QTRY_COMPARE_WITH_TIMEOUT(Form1->State.ErrorRecords, errors + 1, 10000);
      QTRY_VERIFY(Idle());
      QVERIFY(HistoryShows("own request echoed: the adapter echoes requests"));
      errors = Form1->State.ErrorRecords;
      ClickTab(Form1->PageControl1, 0);
      Form1->MachineID->setEditText("9");
      QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
      QTRY_COMPARE_WITH_TIMEOUT(Form1->State.ErrorRecords, errors + 1, 10000);
      QTRY_VERIFY(Idle());
      QCOMPARE(Form1->State.AcceptedReplies, accepted);
      QVERIFY(Form1->UrunShape->BrushColor() != int(LampColor::Green));
      Form1->MachineID->setEditText("1");

      // "on" where the line does not echo: said plainly, and the reply taken
      rig_.sim->SetLineFaults({});
      ChooseEcho("on");
      const long long taken = Form1->State.AcceptedReplies;
      SendUserCommand("1", true, "1000", "1");
      QTRY_COMPARE_WITH_TIMEOUT(Form1->State.AcceptedReplies, taken + 1, 10000);
      QTRY_VERIFY(Idle());
      QVERIFY(HistoryShows("adapter echo is on, but the line does not echo"));
      QVERIFY(Form1->StatusBar1->PanelText(0).contains("the line does not echo"));
      ChooseEcho("off");
    }
    Form1->CheckBox2->setChecked(false);
  }

  // A drive that repeats a write with another value has not confirmed it:
  // FWD START lights COM ERROR, not RUN.
  void writeRepeatedWithAnotherValueIsAnError() {
    UseLine(true, true, {.skewWrites = true});
    ClickTab(Form1->PageControl1, 0);
    const int errors = Form1->State.ErrorRecords;
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->State.ErrorRecords, errors + 1, 10000);
    QCOMPARE(Form1->UcomShape->BrushColor(), int(LampColor::Red));
    QVERIFY(Form1->UrunShape->BrushColor() != int(LampColor::Green));
    QTRY_VERIFY(TrafficLogText().contains(",error reply,write not repeated: another register or value,"));
  }
};

VDD_TEST_MAIN(TestReplyTrust)
#include "test_reply_trust.moc"
