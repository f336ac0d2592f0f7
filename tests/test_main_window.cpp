#include "app/MainWindow.h"
#include "app/VirtualKeyCode.h"
#include "app/drive/TUmotorPara.h"
#include "app/settings/TProtocolSet.h"
#include "app/tools/TCheckSum.h"
#include "base/AppPaths.h"
#include "protocol/ConvertError.h"
#include "settings/DataFolder.h"
#include "support/DialogRecorder.h"
#include "support/MenuClicks.h"
#include "support/ScreenPicture.h"
#include "support/TestMain.h"
#include "tests/support/EngineStateAccess.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

class TestMainWindow : public QObject {
  Q_OBJECT

  QTemporaryDir programFolder_;

  static QList<QWidget *> SequenceControls() {
    return {Form1->URepeatTimes, Form1->UErrorCheck, Form1->UTimeoutCheck, Form1->UAddChecksum,
            Form1->UTimeineterval};
  }

  static bool WriteFile(const QString &path, const QString &text = {}) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
  }

  static void ExpectTabRules(int tab) {
    QCOMPARE(Form1->PageControl1->currentIndex(), tab);
    for (QWidget *control : SequenceControls())
      QVERIFY2(control->isEnabled() == (tab == 2), qPrintable(control->objectName()));
    QCOMPARE(Form1->ImportFunctions1->isEnabled(), tab == 1);
    QCOMPARE(Form1->ExportFunctions1->isEnabled(), tab == 1);
    QCOMPARE(Form1->Import->isEnabled(), tab == 2);
    QCOMPARE(Form1->Export1->isEnabled(), tab == 2);
  }

private slots:
  void initTestCase() {
    QVERIFY(programFolder_.isValid());
    AppPaths::SetProgramFolder(programFolder_.path());
    QCOMPARE(EnsureDataFolder(AppPaths::DataFolder()), QString());
    // the delivered port, COM2, names a device that is not there
    QVERIFY(QDir().mkpath(AppPaths::DataFolder() + "ports"));
    QVERIFY(QFile::link(programFolder_.path() + "/unplugged", AppPaths::DataFolder() + "ports/COM2"));
    CreateApplicationWindows();
    QVERIFY(Form1 != nullptr);
  }

  void cleanupTestCase() { DestroyApplicationWindows(); }

  // The first activation selects tab 0 whatever tab was showing, applies its
  // rules and prepares the counters; a later activation changes nothing.
  void firstActivation() {
    DialogRecorder dialogs;
    Form1->PageControl1->setCurrentIndex(2);
    EngineStateAccess::Of(*Form1->Engine).SequenceAwaitingReply = true;
    QVERIFY(!Form1->Activated);
    Form1->show();
    Form1->activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Activated, 20000);
    ExpectTabRules(0);
    QVERIFY(!Form1->State.SequenceAwaitingReply);
    QCOMPARE(Form1->StatusBar1->PanelText(1), QString("   Total Record   0"));
    QCOMPARE(Form1->StatusBar1->PanelText(2), QString("   Error Record   0"));
    QCOMPARE(Form1->StatusBar1->PanelText(3), QString("   Timeout Record   0"));
    QCOMPARE(Form1->DataFolder, QDir(programFolder_.path()).filePath("database1/"));
    QCOMPARE(Form1->PrevMachineID, Form1->MachineIDText().toStdString());
    QVERIFY(Form1->DBGrid1->model()->rowCount() > 20); // the RM40 function table is listed
    // The delivered line settings were loaded before the port was configured.
    QVERIFY(Form1->UpcSend->isActive());
    QCOMPARE(Form1->UpcSend->interval(), 80);
    QCOMPARE(
        Form1->StatusBar1->PanelText(0),
        QString("          Protocol :  COM2, ASCII, 9600, 7, N, 1  \u2014  port failed: No such device"));
    // the port that cannot be opened is told once, with the reason
    QCOMPARE(dialogs.Texts(), QStringList{"Error opening serial port\nCOM2: No such device"});

    // An import points DataFolder elsewhere; a dialog closing re-activates
    // the window, which must keep it.
    Form1->DataFolder = "/elsewhere/";
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(Form1, &activate);
    QCOMPARE(Form1->DataFolder, QString("/elsewhere/"));
    Form1->DataFolder = QDir(programFolder_.path()).filePath("database1/");
  }

  // A missing data folder is reported in the error box; the window is still made.
  void missingDataFolder() {
    QTemporaryDir empty;
    AppPaths::SetProgramFolder(empty.path());
    DialogRecorder dialogs;
    {
      TForm1 window;
      QCOMPARE(dialogs.requests.size(), 1);
      QCOMPARE(dialogs.requests[0].kind, Dialogs::Kind::Error);
      QVERIFY2(dialogs.requests[0].text.contains("database1"), qPrintable(dialogs.requests[0].text));
      QVERIFY(!window.Activated);
      QCOMPARE(window.UpcSend->interval(), 80); // the design tick until the port is configured
    }
    AppPaths::SetProgramFolder(programFolder_.path());
  }

  void tabChanges() {
    Form1->PageControl1->setCurrentIndex(1);
    ExpectTabRules(1);
    Form1->PageControl1->setCurrentIndex(2);
    ExpectTabRules(2);

    // On the sequence tab a step may await its reply; leaving the tab forgets
    // it and restarts both tick counters.
    EngineStateAccess::Of(*Form1->Engine).SequenceAwaitingReply = true;
    EngineStateAccess::Of(*Form1->Engine).IntervalTicks = 7;
    EngineStateAccess::Of(*Form1->Engine).WaitTicks = 3;
    Form1->PageControl1->setCurrentIndex(0);
    ExpectTabRules(0);
    QVERIFY(!Form1->State.SequenceAwaitingReply);
    QCOMPARE(Form1->State.IntervalTicks, 0);
    QCOMPARE(Form1->State.WaitTicks, 0);

    // Arriving on the sequence tab keeps a reply awaited but restarts the counters.
    EngineStateAccess::Of(*Form1->Engine).SequenceAwaitingReply = true;
    EngineStateAccess::Of(*Form1->Engine).IntervalTicks = 4;
    Form1->PageControl1->setCurrentIndex(2);
    QVERIFY(Form1->State.SequenceAwaitingReply);
    QCOMPARE(Form1->State.IntervalTicks, 0);
    Form1->PageControl1->setCurrentIndex(1);
    QVERIFY(!Form1->State.SequenceAwaitingReply);
    Form1->PageControl1->setCurrentIndex(0);
  }

  // Texts where a typo would show or break a comparison elsewhere.
  void designTexts() {
    QCOMPARE(Form1->windowTitle(), QString("Vossek Drive Desk"));
    QCOMPARE(Form1->size(), QSize(1021, 737));
    QCOMPARE(Form1->PageControl1->count(), 3);
    QCOMPARE(Form1->PageControl1->tabText(0), QString("VOSSEK COM"));
    QCOMPARE(Form1->PageControl1->tabText(1), QString("VOSSEK R&&W"));
    QCOMPARE(Form1->PageControl1->tabText(2), QString("User's Define"));
    QCOMPARE(Form1->ToolBar1->height(), 49);
    QCOMPARE(Form1->UProtocol->text(), QString("  Protocol "));
    QCOMPARE(Form1->UProtocol->toolTip(), QString("Set communication protocol"));
    QCOMPARE(Form1->UdefRun->text(), QString("    RUN    "));
    QCOMPARE(Form1->UdefStop->text(), QString("   STOP   "));
    QCOMPARE(Form1->Utimeout->text(), QString(" Timeout  "));
    QCOMPARE(Form1->UTimeineterval->toolTip(), QString("Set the time interval of the user's define"));
    QVERIFY(!Form1->UEnOrCn->isVisible());
    QCOMPARE(Form1->URepeatTimes->text(), QString("1"));
    QCOMPARE(Form1->UAddChecksum->text(), QString("Add checksum into command"));
    QCOMPARE(Form1->ImportFunctions1->shortcut(), QKeySequence("Ctrl+I"));
    QCOMPARE(Form1->ExportFunctions1->shortcut(), QKeySequence("Ctrl+E"));
    QCOMPARE(Form1->Exit2->text(), QString("E&xit"));
    QCOMPARE(Form1->Import->text(), QString("&Import User's Define"));

    QCOMPARE(Form1->DriveSeries->count(), 1);
    QCOMPARE(Form1->DriveSeries->itemText(0), QString("RM40"));
    QCOMPARE(Form1->MachineID->count(), 60);
    QCOMPARE(Form1->MachineID->itemText(59), QString("60"));
    QCOMPARE(Form1->MachineID->currentText(), QString("1"));
    QVERIFY(Form1->MachineID->isEditable());
    QCOMPARE(Form1->UdefineMachine->count(), 61);
    QCOMPARE(Form1->UdefineMachine->itemText(0), QString("0"));
    QCOMPARE(Form1->UdefineMachine->currentText(), QString("1"));
    const QStringList common = {Form1->Edit9->text(),  Form1->Edit10->text(), Form1->Edit11->text(),
                                Form1->Edit12->text(), Form1->Edit13->text(), Form1->Edit14->text()};
    QCOMPARE(common, QStringList({"40.00", "30.0", "30.0", "5.00", "10.0", "10.0"}));
    QVERIFY(Form1->Edit9->isReadOnly() && Form1->UoutFreq->isReadOnly() && Form1->machinestate->isReadOnly());
    QCOMPARE(Form1->Label16->text(), QString("Output Speed"));
    QCOMPARE(Form1->UFwdStart->text(), QString("F&WD START"));
    QCOMPARE(Form1->UFreeStop->text(), QString("FREE STO&P"));
    QCOMPARE(Form1->UserDefineSend->text(), QString("Se&nd"));
    QCOMPARE(Form1->UdefineAddr->text(), QString("1000"));
    QCOMPARE(Form1->LengthOrData->text(), QString("Length"));
    QCOMPARE(Form1->RandW->currentText(), QString("Read"));
    QVERIFY(Form1->SeriesType->isChecked() && !Form1->ArbitraryType->isChecked());
    QCOMPARE(Form1->ScanPeriod->text(), QString("100"));
    QCOMPARE(Form1->UPeriodScan->text(), QString("Scan"));
    QCOMPARE(Form1->CheckBox2->text(), QString("Continue when communication errors happen "));
    QCOMPARE(Form1->ReadAll->text(), QString("Read all functions_ok"));

    // Grid row r is command row r; row 0 holds the titles and is not editable.
    QCOMPARE(Form1->StringGrid1->rowCount(), 36);
    QCOMPARE(Form1->StringGrid1->columnCount(), 6);
    const QList<int> widths = {64, 76, 79, 250, 256, 129};
    const QStringList titles = {"Select", "Function", "Data", "Command to Send", "Reply", "Note"};
    for (int c = 0; c < 6; ++c) {
      QCOMPARE(Form1->StringGrid1->columnWidth(c), widths[c]);
      QCOMPARE(Form1->StringGrid1->item(0, c)->text(), titles[c]);
      QVERIFY(!(Form1->StringGrid1->item(0, c)->flags() & Qt::ItemIsEditable));
      QVERIFY(Form1->StringGrid1->item(35, c) != nullptr);
    }
    QCOMPARE(Form1->UMODE->ItemIndex(), 0);
    QCOMPARE(Form1->RadioGroup1->ItemIndex(), 0);
    QCOMPARE(Form1->SelectAll->text(), QString("SelectAll"));

    // The check-box glyphs: one size, ticked and empty look different.
    QVERIFY(!Form1->CheckedBitmap.isNull());
    QCOMPARE(Form1->CheckedBitmap.size(), Form1->UncheckedBitmap.size());
    QVERIFY(Form1->CheckedBitmap.toImage() != Form1->UncheckedBitmap.toImage());

    QCOMPARE(Form1->Label1->text(), QString("Send && Rev"));
    QVERIFY(Form1->Label1->font().bold());
    QVERIFY(Form1->SendRevHistory->isReadOnly());
    QCOMPARE(Form1->SendRevHistory->toolTip(), QString("It is only remember the last 100 records."));
    const QList<QAction *> popup = Form1->PopupMenu1->actions();
    QCOMPARE(popup.mid(0, 3), QList<QAction *>({Form1->Selectall1, Form1->clear1, Form1->copy1}));
    QCOMPARE(popup.last(), Form1->OpenLogFolder1);
    QCOMPARE(Form1->OpenLogFolder1->text(), QString("Open log folder"));
    QCOMPARE(Form1->Selectall1->text(), QString("Select All"));
    QCOMPARE(Form1->StatusBar1->PanelCount(), 4);
  }

  // An error raised by a click handler is shown once, with its own message,
  // and the program carries on.
  void conversionErrorBox() {
    DialogRecorder dialogs;
    QPushButton failing("fail", Form1->TabSheet1);
    int after = 0;
    connect(&failing, &QPushButton::clicked, [&after] {
      StrToInt("x");
      ++after; // never reached
    });
    QPushButton working("work", Form1->TabSheet1);
    int worked = 0;
    connect(&working, &QPushButton::clicked, [&worked] { ++worked; });
    failing.show();
    working.show();

    QTest::mouseClick(&failing, Qt::LeftButton);
    QCOMPARE(dialogs.requests.size(), 1);
    QCOMPARE(dialogs.requests[0].kind, Dialogs::Kind::Error);
    QCOMPARE(dialogs.requests[0].text, QString("'x' is not a valid integer value"));
    QCOMPARE(after, 0);
    QTest::mouseClick(&working, Qt::LeftButton);
    QCOMPARE(worked, 1);
    QTest::mouseClick(&failing, Qt::LeftButton);
    QCOMPARE(dialogs.requests.size(), 2);
  }

  void helpWithoutGuide() {
    DialogRecorder dialogs;
    QVERIFY(!QFile::exists(AppPaths::DataFolder() + "DravoUserGuide.CHM"));
    Form1->DravoHelp1->trigger();
    QCOMPARE(dialogs.Texts(), QStringList({"Path error or file destroyed!Please reinstall the software!"}));
  }

  // Help opens the compiled guide when the data folder holds one, else the
  // HTML guide shipped beside the program, with the desktop's viewer; About
  // names the data folder in use. The viewer here notes what it was given.
  void helpOpensTheGuide() {
    DialogRecorder dialogs;
    Form1->show();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    QTemporaryDir viewerFolder;
    const QString opened = viewerFolder.filePath("opened");
    const QString viewer = viewerFolder.filePath("xdg-open");
    QVERIFY(WriteFile(viewer, QString("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(opened)));
    QFile::setPermissions(viewer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // the desktop's program for HTML pages: a graphical one
    const QString entry = viewerFolder.filePath("applications/vdd-guide-viewer.desktop");
    QVERIFY(QDir().mkpath(viewerFolder.filePath("applications")));
    QVERIFY(WriteFile(entry, "[Desktop Entry]\nType=Application\nExec=viewer %u\nTerminal=false\n"));
    const QString query = viewerFolder.filePath("xdg-mime");
    QVERIFY(WriteFile(query, "#!/bin/sh\necho vdd-guide-viewer.desktop\n"));
    QFile::setPermissions(query, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", viewerFolder.path().toUtf8());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", viewerFolder.path().toUtf8() + ":" + path);
    auto openedFiles = [&opened] {
      QFile file(opened);
      return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };

    const QString html = AppPaths::ProgramFolder() + "doc/user-guide.html";
    QVERIFY(QDir().mkpath(AppPaths::ProgramFolder() + "doc") && WriteFile(html));
    ChooseFromMenu(Form1, Form1->DravoHelp1);
    QTRY_VERIFY_WITH_TIMEOUT(openedFiles().contains(html), 10000);
    const QString chm = AppPaths::DataFolder() + "DravoUserGuide.CHM";
    QVERIFY(WriteFile(chm));
    ChooseFromMenu(Form1, Form1->DravoHelp1);
    QTRY_VERIFY_WITH_TIMEOUT(openedFiles().contains(chm), 10000);
    QVERIFY(dialogs.Texts().isEmpty());

    ChooseFromMenu(Form1, Form1->About1);
    QCOMPARE(dialogs.requests.size(), 1);
    QVERIFY2(dialogs.LastText().contains("Data folder: " + AppPaths::DataFolder()) &&
                 dialogs.LastText().contains("User guide: " + chm),
             qPrintable(dialogs.LastText()));
    QVERIFY(QFile::remove(chm));

    // a program that runs in a terminal is not started: Help says where the
    // guide is
    QVERIFY(WriteFile(entry, "[Desktop Entry]\nType=Application\nExec=w3m %u\nTerminal=true\n"));
    const int openings = openedFiles().count('\n');
    dialogs.Clear();
    ChooseFromMenu(Form1, Form1->DravoHelp1);
    QCOMPARE(dialogs.Texts(),
             QStringList({"No program to show the user guide is installed.\nThe user guide is at:\n" +
                          QDir::cleanPath(html) + "\nOpen it in a web browser."}));
    QTest::qWait(500); // a viewer wrongly started would have noted it by now
    QCOMPARE(openedFiles().count('\n'), openings);
    qputenv("PATH", path);
    if (dataHome.isEmpty())
      qunsetenv("XDG_DATA_HOME");
    else
      qputenv("XDG_DATA_HOME", dataHome);
    QVERIFY(QFile::remove(html));
  }

  // A key pressed on the window itself shows its key code; a key that a
  // control leaves unused and passes up to the window does not.
  void keyCodeBox() {
    QCOMPARE(VirtualKeyCode(Qt::Key_A), 65);
    QCOMPARE(VirtualKeyCode(Qt::Key_7), 55);
    QCOMPARE(VirtualKeyCode(Qt::Key_Return), 13);
    QCOMPARE(VirtualKeyCode(Qt::Key_Enter), 13);
    QCOMPARE(VirtualKeyCode(Qt::Key_Left), 37);
    QCOMPARE(VirtualKeyCode(Qt::Key_Delete), 46);
    QCOMPARE(VirtualKeyCode(Qt::Key_F1), 112);
    QCOMPARE(VirtualKeyCode(Qt::Key_F12), 123);
    QCOMPARE(VirtualKeyCode(Qt::Key_Exclam), int(Qt::Key_Exclam));

    DialogRecorder dialogs;
    Form1->activateWindow();
    Form1->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::focusWidget() == Form1, 20000);
    QTest::keyClick(Form1, Qt::Key_F1);
    QTest::keyClick(Form1, Qt::Key_Q);
    QCOMPARE(dialogs.Texts(), QStringList({"112", "81"}));

    // Ctrl+I on the parameter tab reaches "Import Functions"; the Ctrl key
    // alone shows no code.
    ClickTab(Form1->PageControl1, 1);
    Form1->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::focusWidget() == Form1, 20000);
    QTest::keyClick(Form1, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(dialogs.Texts(), QStringList({"112", "81"}));
    QCOMPARE(dialogs.requests.last().kind, Dialogs::Kind::OpenFile);
    QCOMPARE(dialogs.requests.last().caption, QString("Import Functions"));

    ClickTab(Form1->PageControl1, 0);
    Form1->UoutFreq->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::focusWidget() == Form1->UoutFreq, 20000);
    QTest::keyClick(Form1->UoutFreq, Qt::Key_F2); // the edit ignores F2
    QCOMPARE(dialogs.Texts().size(), 2);
  }

  // Each opening of the tool starts afresh.
  void checksumFromMenu() {
    DialogRecorder dialogs;
    QStringList inputs;
    QStringList crcs;
    dialogs.onModal = [&](QDialog *dialog) {
      auto *box = qobject_cast<TCheckSumBox *>(dialog);
      QVERIFY(box != nullptr);
      QVERIFY(box->isVisible());
      inputs << box->UinputText->text();
      crcs << box->UcrcSum->text();
      QTest::keyClicks(box->UinputText, "01021400");
      box->CalButton->click();
      crcs << box->UcrcSum->text();
    };
    Form1->CheckSum1->trigger();
    Form1->CheckSum1->trigger();
    QCOMPARE(inputs, QStringList({"", ""}));
    QCOMPARE(crcs, QStringList({"CRC_16 checksum =", "CRC_16 checksum =AF18",
                                "CRC_16 checksum =", "CRC_16 checksum =AF18"}));
  }

  // Pictures for a look at the layout: only when a folder is given.
  void screenshots() {
    const QString folder = qEnvironmentVariable("VDD_SCREENSHOT_DIR");
    if (folder.isEmpty())
      QSKIP("VDD_SCREENSHOT_DIR not set");
    QVERIFY(QDir().mkpath(folder));
    DialogRecorder dialogs;
    Form1->show(); // also when this test runs alone
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Activated, 20000);
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    const QStringList names = {"main_tab0_vossek_com.png", "main_tab1_vossek_rw.png",
                               "main_tab2_users_define.png"};
    for (int tab = 0; tab < 3; ++tab) {
      ClickTab(Form1->PageControl1, tab);
      QCoreApplication::processEvents();
      QVERIFY(Form1->grab().save(QDir(folder).filePath(names[tab])));
      QVERIFY(SaveScreenPicture(folder, "screen_" + names[tab]));
    }
    // the highlighted record at the end of the table, scrolled into view
    ClickTab(Form1->PageControl1, 1);
    QTest::keyClick(Form1->DBGrid1, Qt::Key_End);
    QCoreApplication::processEvents();
    QVERIFY(Form1->grab().save(QDir(folder).filePath("main_tab1_vossek_rw_last_record.png")));
    bool saved = false;
    dialogs.onModal = [&](QDialog *dialog) {
      auto *box = qobject_cast<TCheckSumBox *>(dialog);
      QTest::keyClicks(box->UinputText, "01021400");
      box->CalButton->click();
      QCoreApplication::processEvents();
      saved = box->grab().save(QDir(folder).filePath("checksum_window.png"));
    };
    Form1->CheckSum1->trigger();
    QVERIFY(saved);
    // the command list scrolled to its end, under its title row
    ClickTab(Form1->PageControl1, 2);
    Form1->StringGrid1->scrollToBottom();
    QCoreApplication::processEvents();
    QVERIFY(Form1->grab().save(QDir(folder).filePath("main_tab2_scrolled.png")));
    Form1->StringGrid1->scrollToTop();
    QTest::mouseClick(Form1->UmotorScan, Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowExposed(UmotorPara));
    QTest::qWait(200); // placed on the screen once its frame is known
    QVERIFY(UmotorPara->grab().save(QDir(folder).filePath("motor_status_window.png")));
    QVERIFY(SaveScreenPicture(folder, "screen_motor_status_window.png"));
    UmotorPara->hide();
    ClickTab(Form1->PageControl1, 0);
    // the parameter window as the frequency box opens it, and the settings window
    saved = false;
    dialogs.onModal = [&](QDialog *dialog) {
      saved = dialog->grab().save(QDir(folder).filePath("parameter_window.png"));
      dialog->reject();
    };
    QTest::mouseClick(Form1->Edit9, Qt::LeftButton);
    QVERIFY(saved);
    ProtocolSet->show();
    QCoreApplication::processEvents();
    QVERIFY(ProtocolSet->grab().save(QDir(folder).filePath("protocol_settings.png")));
    ProtocolSet->hide();
  }

  // The history pane dragged 40 pixels taller keeps its height through a
  // restart of the program; without a stored split it is the delivered 140.
  void historySplitSurvivesRestart() {
    DialogRecorder dialogs;
    Form1->show();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Activated, 20000);
    QSplitter *splitter = Form1->HistorySplitter;
    QCOMPARE(splitter->sizes().value(1), 140);
    QSplitterHandle *handle = splitter->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QMouseEvent drag(QEvent::MouseMove, grip - QPoint(0, 40), handle->mapToGlobal(grip - QPoint(0, 40)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(handle, &drag);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(0, 40));
    const QList<int> dragged = splitter->sizes();
    QCOMPARE(dragged.value(1), 180);
    // A size wider than the screen (a long text once widened the window) is
    // fitted to the screen at the next start, as far as the window can shrink.
    const QRect screen = Form1->screen()->availableGeometry();
    Form1->resize(screen.width() * 2, Form1->height());

    Form1->Exit2->trigger();
    DestroyApplicationWindows();
    CreateApplicationWindows();
    Form1->show();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Activated, 20000);
    QCOMPARE(Form1->HistorySplitter->sizes(), dragged);
    QVERIFY2(Form1->width() <= std::max(screen.width(), Form1->minimumSizeHint().width()),
             qPrintable(QString::number(Form1->width())));
    QVERIFY(Form1->x() >= screen.left());
  }

  // Runs last: "E&xit" runs the close query and closes the window. When the
  // settings cannot be saved the window stays until the user chooses: Retry
  // once the folder is back saves them, "Close without saving" closes.
  void exitCloses() {
    DialogRecorder dialogs;
    QVERIFY(Form1->isVisible());
    Form1->Exit2->trigger();
    QVERIFY(!Form1->isVisible());
    QVERIFY2(dialogs.Texts().contains("Do you want to save changes?"), qPrintable(dialogs.Texts().join('|')));

    Form1->show();
    Form1->TimeoutMs = 900;
    const QString folder = AppPaths::DataFolder();
    QVERIFY(QDir(folder).removeRecursively());
    dialogs.Clear();
    dialogs.QueueChoice("Retry"); // the folder still missing
    dialogs.QueueChoice("Retry"); // the folder back
    int asked = 0;
    dialogs.onChoice = [&](const QString &text) {
      QVERIFY2(text.contains("could not be saved") && text.contains("database1"), qPrintable(text));
      QVERIFY(Form1->isVisible());
      if (++asked == 2)
        QCOMPARE(EnsureDataFolder(folder), QString());
    };
    Form1->Exit2->trigger();
    QCOMPARE(asked, 2);
    QVERIFY(!Form1->isVisible());
    DestroyApplicationWindows();
    CreateApplicationWindows();
    Form1->show();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Activated, 20000);
    QCOMPARE(Form1->TimeoutMs, 900);

    QVERIFY(QDir(folder).removeRecursively());
    dialogs.onChoice = nullptr;
    dialogs.QueueChoice("Close without saving");
    Form1->Exit2->trigger();
    QVERIFY(!Form1->isVisible());
  }
};

VDD_TEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
