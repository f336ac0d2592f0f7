// Read all over Modbus TCP from a server built on libmodbus (test code
// only), chosen in ProtocolSettings as the user does: every parameter of the
// shipped table is stored as the server holds it.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "protocol/HexText.h"
#include "serial/TComm.h"
#include "session/FunctionTable.h"
#include "support/DialogRecorder.h"
#include "support/LoopbackTcp.h"
#include "support/MenuClicks.h"
#include "support/ProtocolWindow.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <modbus.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <thread>

namespace {
// The value the server holds in a parameter's register.
std::uint16_t Held(int reg) { return static_cast<std::uint16_t>(reg * 7 % 900 + 1); }

int RegisterOf(const QString &shortCode) {
  return std::stoi(ParameterRegister(shortCode.toStdString()), nullptr, 16);
}
} // namespace

class TestModbusTcpReadAll : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

private slots:
  void initTestCase() { QVERIFY(rig_.StartDelivered()); }

  void readAllFromLibmodbusServer() {
    modbus_mapping_t *map = modbus_mapping_new(0, 0, 0x3000, 0);
    QVERIFY(map);
    for (int record = 0; record < Form1->Functions->RecordCount(); ++record) {
      Form1->Functions->MoveTo(record);
      const int reg = RegisterOf(Form1->Functions->ShortCode());
      map->tab_registers[reg] = Held(reg);
    }
    const int port = FreeLoopbackPort();
    modbus_t *server = modbus_new_tcp("127.0.0.1", port);
    int listener = modbus_tcp_listen(server, 1);
    QVERIFY(listener >= 0);
    // One connection, served until the program closes it.
    std::thread serving([&] {
      if (modbus_tcp_accept(server, &listener) < 0)
        return;
      std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
      for (int length; (length = modbus_receive(server, query)) >= 0;)
        if (length > 0)
          modbus_reply(server, query, length, map);
    });

    const QString name = QString("tcp:127.0.0.1:%1").arg(port);
    OpenSettingsAndTypePort(name);
    ProtocolSet->ModbusMode->setFocus();
    QTest::keyClick(ProtocolSet->ModbusMode, Qt::Key_End);
    QCOMPARE(ProtocolSet->ModbusMode->currentText(), QString("TCP"));
    if (!ProtocolSet->CompleteOnReply->isChecked()) // at the pace of the replies
      QTest::mouseClick(ProtocolSet->CompleteOnReply, Qt::LeftButton, {},
                        QPoint(8, ProtocolSet->CompleteOnReply->height() / 2));
    QVERIFY(ProtocolSet->CompleteOnReply->isChecked());
    QTest::mouseClick(ProtocolSet->Button1, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Form1->Comm1->PortOpen(), 20000);

    // Each reply is shown once the next request is on its way, and the
    // history still hears of an exchange's end before the next one's start.
    int sent = 0, told = 0, completed = 0, shownAfterNextSent = 0, toldEarly = 0;
    const QMetaObject::Connection onSent =
        connect(Form1->Engine, &TExchangeEngine::ExchangeStarted, this, [&] { ++sent; });
    const QMetaObject::Connection onTold =
        connect(Form1->Engine->Journal, &ExchangeJournal::Started, this, [&] {
          if (told++ != completed)
            ++toldEarly;
        });
    const QMetaObject::Connection onCompleted = connect(Form1, &TForm1::LineCompleted, this, [&] {
      if (sent > ++completed)
        ++shownAfterNextSent;
    });
    ClickTab(Form1->PageControl1, 1);
    dialogs_.Clear();
    QTest::mouseClick(Form1->ReadAll, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dialogs_.LastText().startsWith("Have finished reading all codes!"), 120000);
    QCOMPARE(dialogs_.LastText(), QString("Have finished reading all codes!"));
    for (const QMetaObject::Connection &connection : {onSent, onTold, onCompleted})
      disconnect(connection);
    QCOMPARE(toldEarly, 0);
    QVERIFY2(completed > 50 && shownAfterNextSent > completed / 2,
             qPrintable(QString("%1 of %2 lines").arg(shownAfterNextSent).arg(completed)));

    Form1->Functions->Reopen(0);
    QStringList wrong;
    for (int record = 0; record < Form1->Functions->RecordCount(); ++record) {
      Form1->Functions->MoveTo(record);
      const QString code = Form1->Functions->ShortCode();
      if (Form1->Functions->Text("NAME").trimmed() == "Reserved")
        continue; // not read
      const QString held = QString::fromStdString(DecimalScaling::FormatRegisterValue(
          Held(RegisterOf(code)), DecimalPlaces(code.toStdString()), LocaleDecimalSeparator));
      if (Form1->Functions->Text("NOWDATA") != held)
        wrong << code + "=" + Form1->Functions->Text("NOWDATA") + " (held " + held + ")";
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(' ')));

    Form1->UpcSend->stop();
    Form1->Comm1->ClosePort();
    serving.join();
    modbus_close(server);
    modbus_free(server);
    modbus_mapping_free(map);
  }
};

VDD_TEST_MAIN(TestModbusTcpReadAll)
#include "test_modbus_tcp_read_all.moc"
