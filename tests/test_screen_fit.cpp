// The windows on the screen the test runs on (tests/CMakeLists.txt runs it
// on 1280x1024, on 1280x1024 at a scale factor of 1.5 and on 1024x768):
// each opens inside the screen's available area, the main window's form
// scrolls where it does not fit, its status bar keeps the record counters
// in view, and the motor status window shows its last column.
#include "app/MainWindow.h"
#include "app/Widgets.h"
#include "app/drive/TUmotorPara.h"
#include "app/settings/TProtocolSet.h"
#include "app/trend/TrendWindow.h"
#include "support/DialogRecorder.h"
#include "support/MenuClicks.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QToolButton>

namespace {
QString Where(const QWidget *window) {
  const QRect at = window->frameGeometry();
  const QRect room = window->screen()->availableGeometry();
  return QStringLiteral("%1 at %2,%3 %4x%5 on a screen of %6x%7")
      .arg(window->windowTitle())
      .arg(at.x())
      .arg(at.y())
      .arg(at.width())
      .arg(at.height())
      .arg(room.width())
      .arg(room.height());
}

bool InsideScreen(const QWidget *window) {
  return window->screen()->availableGeometry().contains(window->frameGeometry());
}
} // namespace

class TestScreenFit : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_; // the port of the delivered settings is not there

private slots:
  void initTestCase() { QVERIFY(rig_.StartDelivered()); }
  void cleanupTestCase() { DestroyApplicationWindows(); }

  void windowsOpenInsideTheScreen() {
    qInfo("%s", qPrintable(Where(Form1)));
    QVERIFY2(InsideScreen(Form1), qPrintable(Where(Form1)));
    // the record counters stand inside the window, whatever the port's text
    TElidedLabel *timeouts = nullptr;
    for (TElidedLabel *panel : Form1->StatusBar1->findChildren<TElidedLabel *>())
      if (panel->FullText().contains("Timeout Record"))
        timeouts = panel;
    QVERIFY(timeouts != nullptr && timeouts->isVisible());
    QVERIFY2(timeouts->mapTo(Form1, QPoint(timeouts->width(), 0)).x() <= Form1->width(),
             qPrintable(Where(Form1)));

    // the form scrolls to whatever does not fit: the scan's button is
    // reached and clicked
    auto *form = Form1->findChild<QScrollArea *>("MainFormScroller");
    QVERIFY(form != nullptr);
    form->ensureWidgetVisible(Form1->UPeriodScan);
    const QPoint scan = Form1->UPeriodScan->mapTo(form->viewport(), Form1->UPeriodScan->rect().center());
    QVERIFY2(form->viewport()->rect().contains(scan), qPrintable(Where(Form1)));
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTRY_COMPARE(Form1->UPeriodScan->text(), QString("Pause"));
    QTest::mouseClick(Form1->UPeriodScan, Qt::LeftButton);
    QTRY_COMPARE(Form1->UPeriodScan->text(), QString("Scan"));

    // the motor status window, from its tool button: inside the screen, and
    // its last column, the time-outs, in view
    QTest::mouseClick(Form1->UmotorScan, Qt::LeftButton);
    QTRY_VERIFY(UmotorPara->isVisible());
    QTRY_VERIFY2(InsideScreen(UmotorPara), qPrintable(Where(UmotorPara)));
    qInfo("%s", qPrintable(Where(UmotorPara)));
    QTableWidget *grid = UmotorPara->StringGrid1;
    const QModelIndex lastTitle = grid->model()->index(0, TUmotorPara::TimeoutsColumn);
    const auto lastColumnShown = [&] {
      const QRect at = grid->visualRect(lastTitle).intersected(grid->viewport()->rect());
      return at.width() >= grid->columnWidth(TUmotorPara::TimeoutsColumn) - 1;
    };
    // a screen 1,024 wide has room for every column; a narrower one scrolls
    // to it
    if (UmotorPara->screen()->availableGeometry().width() < 1024) {
      QVERIFY(grid->horizontalScrollBar()->maximum() > 0);
      grid->scrollTo(lastTitle);
    }
    QVERIFY2(lastColumnShown(), qPrintable(Where(UmotorPara)));
    UmotorPara->close();

    // the trend and the protocol settings
    ChooseFromMenu(Form1, Form1->Trend1);
    auto *trend = Form1->findChild<TrendWindow *>();
    QVERIFY(trend != nullptr);
    QTRY_VERIFY(trend->isVisible());
    QTRY_VERIFY2(InsideScreen(trend), qPrintable(Where(trend)));
    qInfo("%s", qPrintable(Where(trend)));
    trend->close();
    QTest::mouseClick(Form1->UProtocol, Qt::LeftButton);
    QTRY_VERIFY(ProtocolSet->isVisible());
    QTRY_VERIFY2(InsideScreen(ProtocolSet), qPrintable(Where(ProtocolSet)));
    ProtocolSet->close();
  }
};

VDD_TEST_MAIN(TestScreenFit)
#include "test_screen_fit.moc"
