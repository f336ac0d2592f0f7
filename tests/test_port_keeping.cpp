// The port as the user meets it in "ProtocolSettings" and the status bar: a
// port another program holds is refused with the reason, once, and taken
// when it is free; a serial server typed as tcp:HOST:PORT carries FWD START
// to an independent slave (Debian's pymodbus) and is taken back after it
// dropped the connection; the devices of a fake device tree are listed
// after "COM20" and the one clicked is kept as a path over a restart.
#include "app/MainWindow.h"
#include "app/Widgets.h"
#include "app/settings/PortList.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"
#include "support/DialogRecorder.h"
#include "support/FakeDeviceTree.h"
#include "support/Heartbeat.h"
#include "support/LoopbackTcp.h"
#include "support/MenuClicks.h"
#include "support/ProtocolWindow.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>

#include <memory>

namespace {
constexpr int kWaitMs = 30000;

QString PortPanel() { return Form1->StatusBar1->PanelText(0); }

// Pictures for a look at the layout, into VDD_SCREENSHOT_DIR when it is set.
void Picture(QWidget *widget, const QString &name) {
  const QString folder = qEnvironmentVariable("VDD_SCREENSHOT_DIR");
  if (folder.isEmpty())
    return;
  QVERIFY(QDir().mkpath(folder));
  QTest::qWait(100); // the layout follows a changed text at the next turn of the event loop
  QVERIFY(widget->grab().save(QDir(folder).filePath(name)));
}

// pymodbus serving unit 1 over TCP with a serial framer, as a serial server
// with one drive behind it, or as a Modbus TCP server (its socket framer);
// it prints every register write it takes.
struct ModbusSlave {
  std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
  ~ModbusSlave() { Stop(); }
  void Start(int port, const QString &mode) {
    const char *const script = R"(
import sys
from pymodbus.server import StartTcpServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer, ModbusSocketFramer
from pymodbus.datastore import ModbusSequentialDataBlock, ModbusSlaveContext, ModbusServerContext
class Logged(ModbusSequentialDataBlock):
    def setValues(self, address, values):
        print("write", address, *values, flush=True)
        super().setValues(address, values)
context = ModbusServerContext(slaves={1: ModbusSlaveContext(hr=Logged(0, [0] * 0x2100), zero_mode=True)},
                              single=False)
framer = {"rtu": ModbusRtuFramer, "ascii": ModbusAsciiFramer, "tcp": ModbusSocketFramer}[sys.argv[2]]
StartTcpServer(context=context, framer=framer, address=("127.0.0.1", int(sys.argv[1])), allow_reuse_address=True)
)";
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start("/usr/bin/python3", {"-c", script, QString::number(port), mode});
  }
  QByteArray Output() { return output += process->readAllStandardOutput(); }
  void Stop() {
    process->terminate();
    if (!process->waitForFinished(5000)) {
      process->kill();
      process->waitForFinished(5000);
    }
  }
  QByteArray output;
};
} // namespace

class TestPortKeeping : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

private slots:
  void initTestCase() {
    if (!rig_.StartDelivered())
      return;
    Form1->MachineID->setEditText("1");
  }

  void cleanupTestCase() { rig_.TearDown(); }

  // Another program holds the port: OK tells why, once, and the status bar
  // keeps saying it; once the port is free the program takes it by itself.
  // The RS-485 option the pseudo-terminal's driver refuses is named there
  // too, and the option is kept over a restart.
  void refusedOpenShownOnceThenTaken() {
    // COM4: the port the program tries again since its start is COM2.
    QVERIFY(rig_.StartSimulator(SimOptions{}, "COM4"));
    TComm holder;
    holder.SetCommName("COM4");
    holder.OpenPort();
    QVERIFY(holder.PortOpen());

    dialogs_.Clear();
    OpenSettingsAndTypePort("COM4");
    QVERIFY(!ProtocolSet->Rs485->isChecked());
    QTest::mouseClick(ProtocolSet->Rs485, Qt::LeftButton);
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton);
    QCOMPARE(dialogs_.Texts(), QStringList{"Error opening serial port\nCOM4: in use by another program"});
    // the settings stay open after the box, the port's name ready to correct
    QVERIFY(ProtocolSet->isVisible());
    QTRY_VERIFY(ProtocolSet->ComPort->hasFocus());
    QCOMPARE(ProtocolSet->ComPort->lineEdit()->selectedText(), QString("COM4"));
    QVERIFY2(PortPanel().startsWith("          Protocol :  COM4, ASCII, ") &&
                 PortPanel().endsWith("port failed: in use by another program"),
             qPrintable(PortPanel()));
    Picture(Form1->StatusBar1, "status_bar_port_failed.png");

    holder.ClosePort();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Comm1->PortOpen(), kWaitMs);
    QVERIFY2(PortPanel().endsWith("port open, RS-485 not supported"), qPrintable(PortPanel()));
    // the reason, for which the panel has no room, in its tooltip
    QVERIFY2(Form1->StatusBar1->PanelToolTip(0).endsWith(
                 "port open; RS-485 direction control not supported: Inappropriate ioctl for device"),
             qPrintable(Form1->StatusBar1->PanelToolTip(0)));
    Picture(Form1->StatusBar1, "status_bar_port_open_rs485.png");
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(rig_.sim->RepliesSent() >= 1, kWaitMs);
    QCOMPARE(dialogs_.Texts().size(), 1); // the attempts in between said nothing

    SimulatedRig::StopProgram();
    QCOMPARE(QSettings(AppPaths::DataFolder() + "preferences.ini", QSettings::IniFormat).value("Line/Rs485"),
             QVariant("true"));
    QVERIFY(SimulatedRig::StartProgram());
    QVERIFY(ProtocolSet->Rs485->isChecked());
    QVERIFY(Form1->Comm1->Rs485());
    QTest::mouseClick(Form1->UProtocol, Qt::LeftButton);
    QTest::mouseClick(ProtocolSet->Rs485, Qt::LeftButton);
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton);
    QVERIFY2(PortPanel().endsWith("port open"), qPrintable(PortPanel()));
    Form1->MachineID->setEditText("1");
  }

  void serialServerTypedInWindow_data() {
    QTest::addColumn<int>("modeIndex"); // in the Mode list: ASCII, RTU, TCP
    QTest::newRow("ASCII") << 0;
    QTest::newRow("RTU") << 1;
    QTest::newRow("TCP") << 2;
  }

  // FWD START reaches the slave behind tcp:127.0.0.1:PORT in each framing;
  // the server going away closes the port, and its return is taken up.
  void serialServerTypedInWindow() {
    QFETCH(int, modeIndex);
    const QString mode = QStringList{"ascii", "rtu", "tcp"}.at(modeIndex);
    const int port = FreeLoopbackPort();
    ModbusSlave slave;
    slave.Start(port, mode);
    QVERIFY(slave.process->waitForStarted(10000));

    const QString name = QString("tcp:127.0.0.1:%1").arg(port);
    OpenSettingsAndTypePort(name);
    ProtocolSet->ModbusMode->setFocus();
    QTest::keyClick(ProtocolSet->ModbusMode, Qt::Key_Home);
    for (int down = 0; down < modeIndex; ++down)
      QTest::keyClick(ProtocolSet->ModbusMode, Qt::Key_Down);
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton);
    QCOMPARE(Form1->Comm1->CommName(), name);
    // pymodbus takes a moment before it listens; until then the program
    // tries again every second.
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Comm1->PortOpen(), kWaitMs);
    QVERIFY2(PortPanel().endsWith("port open, line settings on the server"), qPrintable(PortPanel()));

    const qint64 accepted = Form1->State.AcceptedReplies;
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(slave.Output().contains("write 8192 1\n"), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->State.AcceptedReplies, accepted + 1, kWaitMs);

    slave.Stop();
    QTRY_VERIFY_WITH_TIMEOUT(PortPanel().endsWith("port closed: connection lost"), kWaitMs);
    QVERIFY(!Form1->Comm1->PortOpen());
    ModbusSlave again;
    again.Start(port, mode);
    QTRY_VERIFY2_WITH_TIMEOUT(Form1->Comm1->PortOpen(), qPrintable(PortPanel()), kWaitMs);
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(again.Output().contains("write 8192 1\n"), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->State.AcceptedReplies, accepted + 2, kWaitMs);
    if (mode != "tcp")
      return;

    // Modbus TCP and its address are what the program starts with after
    // File > E&xit, the changes saved.
    ChooseFromMenu(Form1, Form1->Exit2); // the close query is answered: save
    DestroyApplicationWindows();
    CreateApplicationWindows();
    Form1->show();
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Activated, kWaitMs);
    QCOMPARE(ProtocolSet->ModbusMode->currentText(), QString("TCP"));
    QCOMPARE(ProtocolSet->ComPort->currentText(), name);
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Comm1->PortOpen(), kWaitMs);
    again.output.clear();
    QTest::mouseClick(Form1->UFwdStart, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(again.Output().contains("write 8192 1\n"), kWaitMs);
  }

  // A serial server whose connect never completes (a listener on 127.0.0.1
  // whose queue is full drops the handshake): the attempts to reach it run
  // beside the window, one at a time, and the window keeps turning.
  void unreachableServerNeverStallsTheWindow() {
    sockaddr_in address{};
    const int listener = BoundLoopbackSocket(address);
    QCOMPARE(listen(listener, 0), 0);
    int queued[2];
    for (int &client : queued) {
      client = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    constexpr int connectMs = 6000;
    Form1->Comm1->SetTcpConnectTimeout(connectMs);
    OpenSettingsAndTypePort(QString("tcp:127.0.0.1:%1").arg(ntohs(address.sin_port)));
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton);
    QVERIFY2(PortPanel().contains("port failed"), qPrintable(PortPanel()));

    auto heartbeat = std::make_unique<Heartbeat>();
    // long enough for a retry to come due while the attempt before it runs
    QTest::qWait(connectMs + 3000);
    const qint64 longestGapMs = heartbeat->LongestGapMs();
    heartbeat.reset();
    QVERIFY(!Form1->Comm1->PortOpen());
    // An attempt waited for on the window's thread stands still for most of
    // the connect time, far beyond a busy machine's hiccups.
    QVERIFY2(longestGapMs < connectMs / 3,
             qPrintable(QString("the window stood still %1 ms").arg(longestGapMs)));

    Form1->Comm1->SetTcpConnectTimeout(2000);
    for (int client : queued)
      close(client);
    close(listener);
  }

  // The devices of the tree are read when the window opens; COM3, linked to
  // the FTDI adapter, shows it beside its name. The by-id device clicked in
  // the list is the port, and after a restart still is.
  void detectedDevicesListed() {
    QTemporaryDir tree;
    QVERIFY(FakeDeviceTree::Make(tree.path()));
    QVERIFY(rig_.LinkPort("/dev/ttyUSB0", "COM3"));
    ProtocolSet->DeviceRoot = tree.path();
    QTest::mouseClick(Form1->UProtocol, Qt::LeftButton);
    QComboBox *box = ProtocolSet->ComPort;
    QStringList listed;
    for (int i = 0; i < box->count(); ++i)
      listed << box->itemText(i) + " | " + box->itemData(i, PortList::LabelRole).toString();
    QCOMPARE(listed.mid(20), QStringList({FakeDeviceTree::FtdiById + " | FTDI FT232R USB UART, ttyUSB0",
                                          "/dev/ttyUSB1 | USB 067b:2303, ttyUSB1",
                                          "/dev/ttyACM0 | Arduino (www.arduino.cc) Arduino Uno, ttyACM0",
                                          "/dev/ttyS0 | UART", "/dev/ttyS2 | UART", "/dev/ttyS10 | UART"}));
    QCOMPARE(listed[0], QString("COM1 | "));
    QCOMPARE(listed[2], QString("COM3 | /dev/ttyUSB0 (FTDI FT232R USB UART)"));
    QTest::mouseClick(ProtocolSet->Button2, Qt::LeftButton); // Close

    // Unplugged while the window was closed: gone from the list next time.
    QVERIFY(QFile::remove(tree.path() + "/dev/ttyACM0"));
    QTest::mouseClick(Form1->UProtocol, Qt::LeftButton);
    QCOMPARE(box->count(), 25);
    QCOMPARE(box->findText("/dev/ttyACM0"), -1);

    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
    QAbstractItemView *list = box->view();
    QTRY_VERIFY(list->isVisible());
    Picture(ProtocolSet, "protocol_settings.png");
    const QModelIndex item = list->model()->index(20, 0);
    list->scrollTo(item);
    Picture(list->window(), "protocol_settings_port_list.png");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(box->currentText(), FakeDeviceTree::FtdiById);
    dialogs_.Clear();
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton);
    QCOMPARE(dialogs_.Texts(),
             QStringList{"Error opening serial port\n" + FakeDeviceTree::FtdiById + ": No such device"});

    SimulatedRig::StopProgram();
    QVERIFY(SimulatedRig::StartProgram());
    QCOMPARE(ProtocolSet->ComPort->currentText(), FakeDeviceTree::FtdiById);
    QCOMPARE(Form1->Comm1->CommName(), FakeDeviceTree::FtdiById);
  }
};

VDD_TEST_MAIN(TestPortKeeping)
#include "test_port_keeping.moc"
