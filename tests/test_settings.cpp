// The settings tables across a real restart of the windows, the fallback for
// damaged tables, and the time dialog.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "app/settings/TTimeInput.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"
#include "settings/DataFolder.h"
#include "settings/Preferences.h"
#include "settings/TableStore.h"
#include "support/DialogRecorder.h"
#include "support/MenuClicks.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"
#include "tests/support/EngineStateAccess.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <pty.h>
#include <unistd.h>

namespace {
// A pseudo-terminal for the tool to open, so that no test touches a real
// serial device.
struct Pty {
  int master = -1, slave = -1;
  QString path;
  Pty() {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
      path = QString::fromLocal8Bit(name);
  }
  ~Pty() {
    if (master >= 0)
      close(master);
    if (slave >= 0)
      close(slave);
  }
};

QString Cell(int row, int column) {
  const QTableWidgetItem *item = Form1->StringGrid1->item(row, column);
  return item ? item->text() : QString();
}

// Types `text` over a cell of the command grid as a user does: a click on
// the cell, F2, the old text erased and the new one typed as key presses
// (any character, as a keyboard layout delivers it), Enter.
void TypeIntoCell(int row, int column, const QString &text) {
  QTableWidget *grid = Form1->StringGrid1;
  const QString old = grid->item(row, column) ? grid->item(row, column)->text() : QString();
  const QRect cell = grid->visualRect(grid->model()->index(row, column));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::keyClick(grid, Qt::Key_F2);
  auto *editor = grid->viewport()->findChild<QLineEdit *>();
  QVERIFY(editor != nullptr);
  QTest::keyClick(editor, Qt::Key_End);
  for (int i = 0; i < old.size(); ++i)
    QTest::keyClick(editor, Qt::Key_Backspace);
  for (const QChar c : text)
    QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(c), Qt::NoModifier);
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(grid->item(row, column) ? grid->item(row, column)->text() : QString(), text);
}

// Sets values of a settings table behind the program's back.
void StoreValue(const QString &table, int record, const char *field, const QString &value) {
  TTableConnection connection;
  connection.Reconnect(AppPaths::DataFolder());
  TTableQuery query(&connection);
  query.SetSQL("select * from " + table);
  query.Open();
  query.SetRecNo(record);
  query.Edit();
  query.FieldByName(field).SetAsString(value);
  query.Post();
  query.Close();
}

void SetCell(int row, int column, const QString &text) {
  if (QTableWidgetItem *item = Form1->StringGrid1->item(row, column))
    item->setText(text);
  else
    Form1->StringGrid1->setItem(row, column, new QTableWidgetItem(text));
}
} // namespace

class TestSettings : public QObject {
  Q_OBJECT

  QTemporaryDir folder_;
  Pty com2_, com5_;

  void Start() { QVERIFY(SimulatedRig::StartProgram()); }
  void Stop() { SimulatedRig::StopProgram(); }

private slots:
  void initTestCase() {
    QVERIFY(folder_.isValid());
    AppPaths::SetProgramFolder(folder_.path());
    QCOMPARE(EnsureDataFolder(AppPaths::DataFolder()), QString());
    QVERIFY(!com2_.path.isEmpty() && !com5_.path.isEmpty());
    QDir().mkpath(AppPaths::DataFolder() + "ports");
    QVERIFY(QFile::link(com2_.path, AppPaths::DataFolder() + "ports/COM2"));
    QVERIFY(QFile::link(com5_.path, AppPaths::DataFolder() + "ports/COM5"));
  }

  // Everything the tables hold comes back after a restart; Cancel in the
  // confirm box keeps the old drive address and common parameters while the
  // rest is saved all the same.
  void roundTripThroughRestart() {
    DialogRecorder dialogs;
    Start();
    QCOMPARE(ProtocolSet->ComPort->currentText(), QString("COM2")); // the delivered settings
    QCOMPARE(Form1->TimeoutMs, 500);
    QCOMPARE(Form1->MachineIDText(), QString("1"));
    QCOMPARE(Form1->Edit9->text(), QString("40.00"));

    ProtocolSet->ComPort->setCurrentIndex(4);
    ProtocolSet->ModbusMode->setCurrentIndex(1);
    ProtocolSet->UserBaud->setCurrentIndex(5);
    ProtocolSet->UserParity->setCurrentIndex(2);
    ProtocolSet->UserStopBit->setCurrentIndex(1);
    Form1->SeriesStart->setText("3");
    Form1->SeriesStop->setText("5");
    Form1->ArbitraryNum->setText("1,3,4,20");
    Form1->TimeIntervalMs = 2500;
    Form1->TimeoutMs = 800;
    Form1->UErrorCheck->setChecked(true);
    Form1->UAddChecksum->setChecked(true);
    Form1->MachineID->setEditText("7");
    Form1->Edit9->setText("45.00");
    Form1->Edit14->setText("12.5");
    SetCell(2, 1, "105");
    SetCell(2, 0, "Yes");
    SetCell(3, 0, "Yes"); // only the mark: not a used row
    SetCell(5, 3, "010300000001");
    SetCell(5, 5, "a note");
    // where the user dragged the window to, on the screen
    Form1->setGeometry(0, 50, std::min(Form1->screen()->availableGeometry().width(), 960), 700);
    const QRect placed = Form1->geometry();
    QVERIFY(placed.size() != QSize(1021, 737));
    dialogs.QueueAnswer(true); // "Do you want to save changes?" -> OK
    Stop();
    QVERIFY(dialogs.Texts().contains("Do you want to save changes?"));

    Start();
    QCOMPARE(ProtocolSet->ComPort->currentText(), QString("COM5"));
    QCOMPARE(ProtocolSet->ModbusMode->currentText(), QString("RTU"));
    QCOMPARE(ProtocolSet->UserBaud->currentText(), QString("38400"));
    QCOMPARE(ProtocolSet->UserParity->currentText(), QString("E"));
    QCOMPARE(ProtocolSet->UserStopBit->currentText(), QString("2"));
    QCOMPARE(Form1->SeriesStart->text(), QString("3"));
    QCOMPARE(Form1->SeriesStop->text(), QString("5"));
    QCOMPARE(Form1->ArbitraryNum->text(), QString("1,3,4,20"));
    QCOMPARE(Form1->TimeIntervalMs, 2500);
    QCOMPARE(Form1->TimeoutMs, 800);
    QVERIFY(Form1->UErrorCheck->isChecked());
    QVERIFY(!Form1->UTimeoutCheck->isChecked());
    QVERIFY(Form1->UAddChecksum->isChecked());
    QCOMPARE(Form1->MachineIDText(), QString("7"));
    QCOMPARE(Form1->Edit9->text(), QString("45.00"));
    QCOMPARE(Form1->Edit14->text(), QString("12.5"));
    QCOMPARE(Cell(2, 1), QString("105"));
    QCOMPARE(Cell(2, 0), QString("Yes"));
    QCOMPARE(Cell(3, 0), QString());
    QCOMPARE(Cell(4, 1), QString());
    QCOMPARE(Cell(5, 3), QString("010300000001"));
    QCOMPARE(Cell(5, 5), QString("a note"));
    QCOMPARE(Form1->StatusBar1->PanelText(0).contains("COM5, RTU, 38400, 8, E, 2"), true);
    QCOMPARE(Form1->geometry(), placed);

    // Cancel: the drive address and the common parameters stay as stored.
    Form1->MachineID->setEditText("9");
    Form1->Edit9->setText("12.00");
    Form1->TimeoutMs = 900;
    dialogs.QueueAnswer(false);
    Stop();
    Start();
    QCOMPARE(Form1->MachineIDText(), QString("7"));
    QCOMPARE(Form1->Edit9->text(), QString("45.00"));
    QCOMPARE(Form1->TimeoutMs, 900);
    dialogs.QueueAnswer(true);
    Stop();

    // A stored position that does not restore leaves the delivered size.
    Preferences damaged(AppPaths::DataFolder());
    damaged.Set("Window/Geometry", QByteArray("not a window"));
    QVERIFY(damaged.Save());
    Start();
    QCOMPARE(Form1->size(), QSize(1021, 737));
    dialogs.QueueAnswer(true);
    Stop();
  }

  // More used rows than usercmd.dbf has records: the table grows instead of
  // the last record being overwritten.
  void moreRowsThanRecords() {
    DialogRecorder dialogs;
    Start();
    Form1->StringGrid1->setRowCount(45);
    for (int r = 1; r <= 44; ++r)
      SetCell(r, 1, QString::number(100 + r));
    dialogs.QueueAnswer(true);
    Stop();
    Start();
    for (int r = 1; r <= 44; ++r)
      QCOMPARE(Cell(r, 1), QString::number(100 + r));
    for (int r = 1; r <= 44; ++r)
      SetCell(r, 1, QString());
    dialogs.QueueAnswer(true);
    Stop();
  }

  // A damaged settings table: the program starts with the initial values
  // and says so once; the other tables still load; closing rewrites it.
  void damagedTableFallsBack() {
    DialogRecorder dialogs;
    const QString comPro = AppPaths::DataFolder() + "com_pro.dbf";
    {
      QFile file(comPro);
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write("this is not a dBASE table at all");
    }
    Start();
    QCOMPARE(dialogs.Texts().size(), 1);
    QVERIFY(dialogs.LastText().contains("com_pro.dbf"));
    QCOMPARE(ProtocolSet->ComPort->currentText(), QString("COM2"));
    QCOMPARE(ProtocolSet->ModbusMode->currentText(), QString("ASCII"));
    QCOMPARE(Form1->TimeoutMs, 500);
    QCOMPARE(Form1->MachineIDText(), QString("7")); // dspara.dbf still read
    dialogs.QueueAnswer(true);
    dialogs.QueueChoice("Close without saving");
    Form1->close();
    // The damaged table cannot be rewritten in place: the save says so and
    // the window closes when the user chooses to close without saving.
    QVERIFY(dialogs.LastText().contains("could not be saved"));
    QVERIFY(!Form1->isVisible());
    DestroyApplicationWindows();
    QFile::remove(comPro);
    QCOMPARE(EnsureDataFolder(AppPaths::DataFolder()), QString());
  }

  // A device path typed as the port and a note with characters beyond
  // Latin-1 come back after File > Exit and a new start; the command list is
  // saved into the file its table links to. A note that the tables' code
  // page cannot store is refused before anything of it is written.
  void typedValuesSurviveExit() {
    DialogRecorder dialogs;
    const QString linked = folder_.path() + "/elsewhere/usercmd.dbf";
    const QString table = AppPaths::DataFolder() + "usercmd.dbf";
    QVERIFY(QDir().mkpath(folder_.path() + "/elsewhere"));
    QVERIFY(QFile::rename(table, linked));
    QVERIFY(QFile::link(linked, table));

    Start();
    Form1->UProtocol->click();
    QLineEdit *port = ProtocolSet->ComPort->lineEdit();
    QTest::mouseClick(port, Qt::LeftButton);
    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(port, com5_.path);
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton);
    QCOMPARE(Form1->Comm1->CommName(), com5_.path);
    ClickTab(Form1->PageControl1, 2);
    TypeIntoCell(2, 1, "101");
    TypeIntoCell(2, 5, QString::fromUtf8("€ü"));
    QCOMPARE(Cell(2, 5), QString::fromUtf8("€ü"));
    TypeIntoCell(3, 5, QString::fromUtf8("5 €")); // its only character beyond ASCII
    TypeIntoCell(3, 1, "103");
    dialogs.QueueAnswer(true);
    Form1->Exit2->trigger();
    QVERIFY(!Form1->isVisible());
    DestroyApplicationWindows();
    QVERIFY(QFileInfo(table).isSymLink());
    QFile file(linked);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\x80\xFC")); // code page 1252, as other readers expect
    file.close();

    Start();
    QCOMPARE(ProtocolSet->ComPort->currentText(), com5_.path);
    QCOMPARE(Form1->Comm1->CommName(), com5_.path);
    QVERIFY(Form1->Comm1->PortOpen());
    QCOMPARE(Cell(2, 5), QString::fromUtf8("€ü"));
    QCOMPARE(Cell(3, 5), QString::fromUtf8("5 €"));
    SetCell(3, 1, QString());
    SetCell(3, 5, QString());

    ClickTab(Form1->PageControl1, 2);
    TypeIntoCell(2, 5, QString::fromUtf8("€漢"));
    Form1->TimeoutMs = 700;
    dialogs.Clear();
    dialogs.QueueAnswer(true);
    dialogs.QueueChoice("Close without saving");
    Form1->Exit2->trigger();
    QVERIFY2(dialogs.LastText().contains(QString::fromUtf8("cannot store: 漢")),
             qPrintable(dialogs.LastText()));
    DestroyApplicationWindows();
    Start();
    QCOMPARE(Cell(2, 5), QString::fromUtf8("€ü"));
    QCOMPARE(Form1->TimeoutMs, 700); // the other tables were saved
    ProtocolSet->ComPort->setCurrentText("COM2");
    SetCell(2, 1, QString());
    SetCell(2, 5, QString());
    dialogs.QueueAnswer(true);
    Stop();
    QVERIFY(QFileInfo(table).isSymLink());
  }

  // A scan list and a port path longer than their fields stop at the
  // field's width as they are typed, so what the boxes show is what comes
  // back; a note longer than its field is refused at exit with the field
  // and its width named, and Cancel keeps the window to shorten it.
  void textsLongerThanTheirFieldsAreNeverCut() {
    DialogRecorder dialogs;
    Start();
    QString list;
    for (int drive = 1; list.size() < 130; ++drive)
      list += QString::number(drive) + ',';
    QTest::mouseClick(Form1->ArbitraryNum, Qt::LeftButton);
    QTest::keyClick(Form1->ArbitraryNum, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(Form1->ArbitraryNum, list);
    QTest::keyClick(Form1->ArbitraryNum, Qt::Key_Tab);
    const QString typedList = Form1->ArbitraryNum->text();
    QVERIFY2(typedList.size() <= 100, qPrintable(typedList));

    Form1->UProtocol->click();
    QLineEdit *port = ProtocolSet->ComPort->lineEdit();
    QTest::mouseClick(port, Qt::LeftButton);
    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(port, "/dev/serial/by-path/" + QString(120, 'p'));
    const QString typedPort = port->text();
    QVERIFY2(typedPort.size() <= 100, qPrintable(typedPort));
    ProtocolSet->Button2->click();

    ClickTab(Form1->PageControl1, 2);
    TypeIntoCell(4, 1, "104");
    TypeIntoCell(4, 5, QString(300, 'n'));
    dialogs.QueueAnswer(true);
    dialogs.QueueChoice("Cancel");
    Form1->Exit2->trigger();
    QVERIFY(Form1->isVisible());
    QCOMPARE(dialogs.choiceButtons.value(0), QStringList({"Retry", "Close without saving", "Cancel"}));
    QVERIFY2(dialogs.LastText().contains("NOTE") && dialogs.LastText().contains("254"),
             qPrintable(dialogs.LastText()));
    TypeIntoCell(4, 5, QString(254, 'n'));
    dialogs.Clear();
    dialogs.QueueAnswer(true);
    Form1->Exit2->trigger();
    QVERIFY2(!Form1->isVisible(), qPrintable(dialogs.Texts().join('|')));
    DestroyApplicationWindows();

    Start();
    QCOMPARE(Form1->ArbitraryNum->text(), typedList);
    QCOMPARE(ProtocolSet->ComPort->currentText(), typedPort);
    QCOMPARE(Cell(4, 5), QString(254, 'n'));
    Form1->ArbitraryNum->setText("1");
    ProtocolSet->ComPort->setCurrentText("COM2");
    SetCell(4, 1, QString());
    SetCell(4, 5, QString());
    dialogs.QueueAnswer(true);
    Stop();
  }

  // Values that cannot be read fall back one by one, the rest of the table
  // is used, the user learns which table and value, and a copy of the table
  // is kept before the exit writes over it. A row number far beyond the grid
  // costs one line of the message, not the program.
  void unreadableValuesFallBackOneByOne() {
    DialogRecorder dialogs;
    for (const QString &old : QDir(AppPaths::DataFolder()).entryList({"*-kept-*"}))
      QFile::remove(AppPaths::DataFolder() + old);
    StoreValue("com_pro.dbf", 7, "TX610", "soon");
    StoreValue("usercmd.dbf", 1, "COUNTNUM", "1000");
    const int values[3] = {1, 300000000, 3};
    for (int record = 1; record <= 3; ++record) {
      StoreValue("usercmd.dbf", record, "VALIDNUM", QString::number(values[record - 1]));
      StoreValue("usercmd.dbf", record, "FUNC", QString::number(100 + record));
    }
    Start();
    QCOMPARE(dialogs.Texts().size(), 1);
    const QString message = dialogs.LastText();
    QVERIFY2(message.contains("com_pro.dbf: record 7, TX610: 'soon' is not a valid integer value"),
             qPrintable(message));
    QVERIFY2(message.contains("COUNTNUM counts 1000 rows"), qPrintable(message));
    QVERIFY2(message.contains("VALIDNUM 300000000"), qPrintable(message));
    QCOMPARE(Form1->TimeIntervalMs, 1000); // the delivered value
    QCOMPARE(Form1->TimeoutMs, 700);       // the rest of the table is used
    QCOMPARE(Cell(1, 1), QString("101"));
    QCOMPARE(Cell(3, 1), QString("103"));
    QVERIFY(Form1->StringGrid1->rowCount() <= 201);
    const QStringList kept = QDir(AppPaths::DataFolder()).entryList({"com_pro-kept-*.dbf"});
    QCOMPARE(kept.size(), 1);
    QFile copy(AppPaths::DataFolder() + kept.first());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QVERIFY(copy.readAll().contains("soon"));
    SetCell(1, 1, QString());
    SetCell(3, 1, QString());
    dialogs.QueueAnswer(true);
    Stop();
  }

  // The time dialog: it shows the current value, refuses values outside
  // 50..100000 ms and changes only the time it was opened for.
  void timeDialog() {
    DialogRecorder dialogs;
    Start();
    Form1->TimeoutMs = 500;
    Form1->TimeIntervalMs = 1000;
    EngineStateAccess::Of(*Form1->Engine).WaitTicks = 5;
    QStringList shown;
    dialogs.onModal = [&](QDialog *dialog) {
      auto *window = qobject_cast<TTimeInput *>(dialog);
      QVERIFY(window != nullptr);
      QCOMPARE(window->windowTitle(), QString("Time Control"));
      shown << window->Edit1->text();
      window->Edit1->setText("40");
      QVERIFY(!window->Edit1Exit());
      QCOMPARE(dialogs.LastText(), QString("Please input data! Range:50-100000."));
      window->Edit1->setText("100001");
      window->Button1Click(); // refused: nothing stored
      window->Edit1->setText("");
      window->Button1Click();
      window->Edit1->setText("100000");
      window->Button1Click();
    };
    Form1->UtimeoutClick();
    QCOMPARE(Form1->State.WaitTicks, 0);
    QCOMPARE(Form1->TimeoutMs, 100000);
    QCOMPARE(Form1->TimeIntervalMs, 1000);
    Form1->UTimeinetervalClick();
    QCOMPARE(shown, QStringList({"500", "1000"}));
    QCOMPARE(Form1->TimeIntervalMs, 100000);
    QCOMPARE(Form1->TimeoutMs, 100000);
    Form1->TimeoutMs = 500;
    Form1->TimeIntervalMs = 1000;
    dialogs.QueueAnswer(true);
    Stop();
  }

  // preferences.ini: values of the wrong kind or out of range, a damaged or
  // missing file read as the delivered values; saved values come back.
  void preferencesFallBack() {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    QCOMPARE(Preferences(folder).Int("Log/Days", 30, 1, 3650), 30);
    QFile file(folder + "preferences.ini");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Line]\nCompleteOnReply=yes please\n[Log]\nDays=0\nMegabytes=64\n");
    file.close();
    Preferences read(folder);
    QCOMPARE(read.Bool("Line/CompleteOnReply", false), false);
    QCOMPARE(read.Int("Log/Days", 30, 1, 3650), 30);
    QCOMPARE(read.Int("Log/Megabytes", 200, 1, 100000), 64);
    read.Set("Line/CompleteOnReply", true);
    QVERIFY(read.Save());
    QCOMPARE(Preferences(folder).Bool("Line/CompleteOnReply", false), true);
    QCOMPARE(Preferences(folder).Int("Log/Megabytes", 200, 1, 100000), 64);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Line\n\x01\x02=\xff\n");
    file.close();
    QCOMPARE(Preferences(folder).Bool("Line/CompleteOnReply", false), false);
  }
};

VDD_TEST_MAIN(TestSettings)
#include "test_settings.moc"
