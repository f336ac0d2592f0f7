#include "app/Widgets.h"
#include "drive/ControlLamps.h"
#include "drive/DriveAddress.h"
#include "drive/RequestBodies.h"
#include "drive/UserCommandChecks.h"

#include <QTest>

class TestDriveRequests : public QObject {
  Q_OBJECT
private slots:
  void requestBodies() {
    QCOMPARE(RequestBodies::Control(10, ControlCode(FwdStart)), std::string("0A0620000001"));
    QCOMPARE(RequestBodies::Control(0, ControlCode(RevJogPress)), std::string("00062000000A"));
    QCOMPARE(RequestBodies::Control(247, ControlCode(RevJogRelease)), std::string("F7062000000B"));
    QCOMPARE(RequestBodies::Status(20), std::string("140310000006"));
    QCOMPARE(RequestBodies::UserCommand(1, true, "1000", "0001"), std::string("010310000001"));
    QCOMPARE(RequestBodies::UserCommand(1, false, "1000", "00FF"), std::string("0106100000FF"));
    QCOMPARE(RequestBodies::UserCommand(0, true, "000A", "0001"), std::string("0003000A0001"));
  }

  void driveAddresses() {
    QCOMPARE(DriveAddress::Parse("0"), std::optional<int>(0));
    QCOMPARE(DriveAddress::Parse("247"), std::optional<int>(247));
    QCOMPARE(DriveAddress::Parse("248"), std::nullopt);
    QCOMPARE(DriveAddress::Parse(""), std::nullopt);
    QCOMPARE(DriveAddress::Parse("-1"), std::nullopt);
    QVERIFY(DriveAddress::Check("0").Ok());
    QVERIFY(DriveAddress::Check("247").Ok());
    for (const char *bad : {"", "248", "1000", "99999999999"}) {
      const FieldCheck check = DriveAddress::Check(bad);
      QCOMPARE(check.message, std::string("Invalid input! Valid range:0-247!"));
      QVERIFY(check.selectText);
    }
  }

  void lampsFollowCommands() {
    using namespace LampColor;
    QCOMPARE(LampsAfterCommand(FwdStart), (LampColors{Green, Off, Green, Off, Off, Off, Off}));
    QCOMPARE(LampsAfterCommand(RevStart), (LampColors{Green, Off, Off, Green, Off, Off, Off}));
    QCOMPARE(LampsAfterCommand(FwdJogPress), (LampColors{Green, Off, Green, Off, Green, Off, Off}));
    QCOMPARE(LampsAfterCommand(RevJogPress), (LampColors{Green, Off, Off, Green, Green, Off, Off}));
    QCOMPARE(LampsAfterCommand(Start), (LampColors{Green, Off, Off, Off, Off, Off, Off}));
    for (int stop : {DecStop, FreeStop, FwdJogRelease, RevJogRelease, Reset})
      QCOMPARE(LampsAfterCommand(stop), (LampColors{Off, Olive, Off, Off, Off, Off, Off}));
    QCOMPARE(LampsAfterCommand(NoCommand), std::nullopt);
    QCOMPARE(LampsAfterCommand(7), std::nullopt);
    QCOMPARE(LampsAfterCommand(12), std::nullopt);
    QCOMPARE(Green, 65280);
    QCOMPARE(Olive, 32896);
    QCOMPARE(Red, 255);
  }

  void userCommandFields() {
    std::string padded;
    QVERIFY(UserCommandChecks::CheckRegister("A", padded).Ok());
    QCOMPARE(padded, std::string("000A"));
    QVERIFY(UserCommandChecks::CheckRegister("ABCD", padded).Ok());
    QCOMPARE(padded, std::string("ABCD"));
    QCOMPARE(UserCommandChecks::CheckRegister("", padded).message, std::string("Invalid input! "));
    QCOMPARE(UserCommandChecks::CheckRegister("10000", padded).message,
             std::string("Error input! Please input hex data range:0000-FFFF!"));
    QVERIFY(UserCommandChecks::CheckCountOrValue("1", padded).Ok());
    QCOMPARE(padded, std::string("0001"));
    QCOMPARE(UserCommandChecks::CheckCountOrValue("", padded).message, std::string("Invalid input! "));
    QCOMPARE(UserCommandChecks::CheckCountOrValue("FFFFF", padded).message,
             std::string("Invalid input! Valid range:0000-FFFF!"));
    QCOMPARE(padded, std::string("0001")); // a refused text leaves the last good value
  }
};

QTEST_GUILESS_MAIN(TestDriveRequests)
#include "test_drive_requests.moc"
