#include "app/tools/TCheckSum.h"
#include "protocol/ConvertError.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"
#include "support/DialogRecorder.h"
#include "support/TestMain.h"
#include "tools/CheckSumInput.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class TestCheckSumWindow : public QObject {
  Q_OBJECT

  // Types the text into a fresh window, calculates, and returns the two results.
  static QPair<QString, QString> Calculate(const QString &digits) {
    TCheckSumBox box;
    box.show();
    box.UinputText->setText(digits);
    box.CalButton->click();
    return {box.UlrcSum->text(), box.UcrcSum->text()};
  }

private slots:
  void design() {
    TCheckSumBox box;
    QCOMPARE(box.windowTitle(), QString("Check Sum"));
    QCOMPARE(box.minimumSize(), QSize(612, 328));
    QCOMPARE(box.maximumSize(), QSize(612, 328));
    QCOMPARE(box.Label1->text(), QString("Calculate checksum"));
    QVERIFY(box.Label1->font().bold());
    QCOMPARE(box.Label2->text(),
             QString("Input hexacecimal value series in the follow text.Eech character should "
                     "show by two digital. "));
    QCOMPARE(box.Label5->text(),
             QString("EX:   1,2 20,0(Dec) input as 01021400(Hex).        The number of Max "
                     "input character is 60."));
    QCOMPARE(box.UcrcSum->text(), QString("CRC_16 checksum ="));
    QCOMPARE(box.UlrcSum->text(), QString("LRC checksum ="));
    QCOMPARE(box.Label6->text(), QString("Hint: "));
    QVERIFY(box.CalButton->isDefault());
    QCOMPARE(box.Uclose->text(), QString("Close"));
    QVERIFY(box.UinputText->text().isEmpty());
  }

  void checksums() {
    QCOMPARE(Calculate("010300000001"),
             qMakePair(QString("LRC checksum =FB"), QString("CRC_16 checksum =840A")));
    QCOMPARE(Calculate("01021400"), qMakePair(QString("LRC checksum =E9"), QString("CRC_16 checksum =AF18")));
    QCOMPARE(Calculate(""), qMakePair(QString("LRC checksum =00"), QString("CRC_16 checksum =FFFF")));
    // A trailing odd digit counts for neither checksum.
    QCOMPARE(Calculate("0102140"), Calculate("010214"));
    QVERIFY(Calculate("0102140") != Calculate("01021400"));
  }

  void lengthLimit() {
    TCheckSumBox box;
    box.show();
    const QString limit = QString("01").repeated(60);
    box.UinputText->setText(limit);
    box.CalButton->click();
    QCOMPARE(box.Label6->text(), QString("Hint: "));
    const QString lrcAtLimit = box.UlrcSum->text();
    const QString crcAtLimit = box.UcrcSum->text();
    QCOMPARE(lrcAtLimit, QString("LRC checksum =C4")); // 60 x 01 = 3C

    box.UinputText->setText(limit + "0");
    box.CalButton->click();
    QCOMPARE(box.Label6->text(), QString("Hint: Input data length out of range!"));
    QCOMPARE(box.UlrcSum->text(), lrcAtLimit);
    QCOMPARE(box.UcrcSum->text(), crcAtLimit);

    // The hint stays through a later good calculation.
    box.UinputText->setText("010300000001");
    box.CalButton->click();
    QCOMPARE(box.UlrcSum->text(), QString("LRC checksum =FB"));
    QCOMPARE(box.Label6->text(), QString("Hint: Input data length out of range!"));
  }

  void keyFilter() {
    QVERIFY(IsCheckSumKey('0') && IsCheckSumKey('9') && IsCheckSumKey('A') && IsCheckSumKey('F'));
    QVERIFY(IsCheckSumKey(8));
    QVERIFY(!IsCheckSumKey('a') && !IsCheckSumKey('G') && !IsCheckSumKey(' ') && !IsCheckSumKey('/') &&
            !IsCheckSumKey(':'));

    TCheckSumBox box;
    box.show();
    QTest::keyClicks(box.UinputText, "0a1 b-G2F:f@");
    QCOMPARE(box.UinputText->text(), QString("012F"));
    QTest::keyClick(box.UinputText, Qt::Key_Backspace);
    QTest::keyClick(box.UinputText, Qt::Key_Backspace);
    QCOMPARE(box.UinputText->text(), QString("01"));
    // Enter presses the default button.
    QTest::keyClicks(box.UinputText, "021400");
    QTest::keyClick(box.UinputText, Qt::Key_Return);
    QCOMPARE(box.UcrcSum->text(), QString("CRC_16 checksum =AF18"));
    QCOMPARE(box.UlrcSum->text(), QString("LRC checksum =E9"));
  }

  // Pasted text can hold pairs that are not hex: the conversion error shows in
  // the error box after the LRC was written; the CRC keeps its old text.
  void pastedNonHex() {
    QCOMPARE(HexPairsToBytes("0aFF1"), std::vector<std::uint8_t>({0x0A, 0xFF}));
    try {
      HexPairsToBytes("01zz");
      QFAIL("zz must raise the conversion error");
    } catch (const EConvertError &error) {
      QCOMPARE(QString(error.what()), QString("'$zz' is not a valid integer value"));
    }

    DialogRecorder dialogs;
    TCheckSumBox box;
    box.show();
    box.UinputText->setText("01021400");
    QTest::mouseClick(box.CalButton, Qt::LeftButton);
    box.UinputText->setText("0101zz");
    QTest::mouseClick(box.CalButton, Qt::LeftButton);
    QCOMPARE(dialogs.requests.size(), 1);
    QCOMPARE(dialogs.requests[0].kind, Dialogs::Kind::Error);
    QCOMPARE(dialogs.requests[0].text, QString("'$zz' is not a valid integer value"));
    QCOMPARE(box.UlrcSum->text(), "LRC checksum =" + QString::fromStdString(ComputeLRC("0101zz")));
    QVERIFY(box.UlrcSum->text() != QString("LRC checksum =E9"));
    QCOMPARE(box.UcrcSum->text(), QString("CRC_16 checksum =AF18"));
    QVERIFY(box.isVisible());
  }

  void closeButton() {
    TCheckSumBox box;
    box.show();
    QVERIFY(box.isVisible());
    box.Uclose->click();
    QVERIFY(!box.isVisible());
  }
};

VDD_TEST_MAIN(TestCheckSumWindow)
#include "test_checksum_window.moc"
