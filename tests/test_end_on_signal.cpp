// A logout or shutdown ends the program with SIGTERM or SIGHUP: the settings
// the user made are kept as "E&xit" keeps them, without a question, and the
// line options are kept as soon as "OK" takes them.
#include "app/MainWindow.h"
#include "app/TerminationSignals.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"
#include "settings/DataFolder.h"
#include "support/DialogRecorder.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>

#include <csignal>
#include <pty.h>
#include <unistd.h>

class TestEndOnSignal : public QObject {
  Q_OBJECT

private slots:
  void settingsKeptWhenKilled() {
    DialogRecorder dialogs;
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    AppPaths::SetProgramFolder(folder.path());
    QCOMPARE(EnsureDataFolder(AppPaths::DataFolder()), QString());
    int master = -1, slave = -1;
    char device[256] = {};
    QVERIFY(openpty(&master, &slave, device, nullptr, nullptr) == 0);
    QVERIFY(QDir().mkpath(AppPaths::DataFolder() + "ports"));
    QVERIFY(QFile::link(QString::fromLocal8Bit(device), AppPaths::DataFolder() + "ports/COM5"));

    QVERIFY(SimulatedRig::StartProgram());
    // as the program's main() does
    EndOnTerminationSignals([] {
      Form1->EndWithoutAsking();
      QApplication::quit();
    });
    QTest::mouseClick(Form1->UProtocol, Qt::LeftButton);
    QLineEdit *port = ProtocolSet->ComPort->lineEdit();
    QTest::mouseClick(port, Qt::LeftButton);
    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(port, "COM5");
    ProtocolSet->ModbusMode->setFocus();
    QTest::keyClick(ProtocolSet->ModbusMode, Qt::Key_Down); // RTU
    QCOMPARE(ProtocolSet->ModbusMode->currentText(), QString("RTU"));
    QTest::mouseClick(ProtocolSet->CompleteOnReply, Qt::LeftButton);
    QTest::mouseClick(ProtocolSet->Rs485, Qt::LeftButton);
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton);
    QVERIFY(Form1->Comm1->PortOpen());
    const QSettings preferences(AppPaths::DataFolder() + "preferences.ini", QSettings::IniFormat);
    QCOMPARE(preferences.value("Line/CompleteOnReply").toString(), QString("true"));
    QCOMPARE(preferences.value("Line/Rs485").toString(), QString("true"));
    Form1->MachineID->setEditText("9"); // kept only on OK to the question
    dialogs.Clear();                     // what the start said of the delivered port

    QCOMPARE(kill(getpid(), SIGTERM), 0);
    QTRY_VERIFY(!Form1->isVisible());
    QVERIFY2(dialogs.Texts().isEmpty(), qPrintable(dialogs.Texts().join('|')));
    DestroyApplicationWindows();

    QVERIFY(SimulatedRig::StartProgram());
    QCOMPARE(ProtocolSet->ComPort->currentText(), QString("COM5"));
    QCOMPARE(ProtocolSet->ModbusMode->currentText(), QString("RTU"));
    QVERIFY(ProtocolSet->CompleteOnReply->isChecked());
    QVERIFY(ProtocolSet->Rs485->isChecked());
    QCOMPARE(Form1->MachineIDText(), QString("1"));
    DestroyApplicationWindows();
    close(master);
    close(slave);
  }
};

VDD_TEST_MAIN(TestEndOnSignal)
#include "test_end_on_signal.moc"
