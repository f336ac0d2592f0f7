// The small windows and grids as the user works them: the time dialog's
// editing keys, the captions the desktop shows, the command list's title row
// and Select column, and the motor status titles in a larger font.
#include "app/MainWindow.h"
#include "app/drive/TUmotorPara.h"
#include "app/params/TInputBox.h"
#include "app/settings/TProtocolSet.h"
#include "app/settings/TTimeInput.h"
#include "support/DialogRecorder.h"
#include "support/SimulatedRig.h"
#include "support/TestMain.h"

#include <QAbstractItemDelegate>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

namespace {
// The title the window system holds for a shown window (X only).
QString TitleOnDisplay(QWidget *window) {
  QProcess xprop;
  xprop.start("xprop", {"-id", QString::number(window->winId()), "_NET_WM_NAME"});
  if (!xprop.waitForFinished(10000))
    return "(xprop did not answer)";
  const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
  const qsizetype quote = out.indexOf('"');
  return quote < 0 ? out : out.mid(quote + 1).chopped(1);
}

QPoint CellCentre(int row, int column) {
  QTableWidget *grid = Form1->StringGrid1;
  return grid->visualRect(grid->model()->index(row, column)).center();
}
} // namespace

class TestDialogsAndGrids : public QObject {
  Q_OBJECT

  SimulatedRig rig_;
  DialogRecorder dialogs_;

private slots:
  void initTestCase() {
    if (rig_.CreateWindows())
      rig_.ShowMainWindow();
  }

  void cleanupTestCase() {
    Form1->UpcSend->stop();
    DestroyApplicationWindows();
  }

  // Only typed characters are filtered: select all, cursor keys, Enter and
  // Escape do their usual work.
  void timeDialogEditingKeys() {
    Form1->TimeoutMs = 1000;
    QString shown;
    dialogs_.onModal = [&](QDialog *dialog) {
      auto *window = qobject_cast<TTimeInput *>(dialog);
      QVERIFY(window != nullptr);
      QLineEdit *field = window->Edit1;
      QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(field, "2000");
      QTest::keyClick(field, Qt::Key_Left);
      QTest::keyClick(field, Qt::Key_Left);
      QTest::keyClicks(field, "5x-");
      QTest::keyClick(field, Qt::Key_Home);
      QTest::keyClick(field, Qt::Key_Delete);
      QTest::keyClick(field, Qt::Key_End);
      QTest::keyClicks(field, "0");
      shown = field->text();
      QTest::keyClick(field, Qt::Key_Return);
    };
    QTest::mouseClick(Form1->Utimeout, Qt::LeftButton);
    QCOMPARE(shown, QString("05000"));
    QCOMPARE(Form1->TimeoutMs, 5000);

    dialogs_.onModal = [&](QDialog *dialog) {
      auto *window = qobject_cast<TTimeInput *>(dialog);
      QTest::keyClicks(window->Edit1, "7");
      QTest::keyClick(window->Edit1, Qt::Key_Escape);
      shown = window->isVisible() ? "still open" : "closed";
    };
    QTest::mouseClick(Form1->Utimeout, Qt::LeftButton);
    QCOMPARE(shown, QString("closed"));
    QCOMPARE(Form1->TimeoutMs, 5000);
    dialogs_.onModal = nullptr;
  }

  // Run on an X display (tests/test_window_captions.py): each window's
  // title there is its own caption, nothing appended.
  void windowCaptionsOnDisplay() {
    if (QGuiApplication::platformName() != "xcb")
      QSKIP("needs an X display");
    const std::pair<QWidget *, QString> windows[] = {{Form1, "Vossek Drive Desk"},
                                                     {ProtocolSet, "ProtocolSettings"},
                                                     {UmotorPara, "Motor Parameters Display"},
                                                     {InputBox, "Input Box"}};
    for (const auto &[window, caption] : windows) {
      window->show();
      QVERIFY(QTest::qWaitForWindowExposed(window));
      QTRY_COMPARE(TitleOnDisplay(window), caption);
    }
    QString timeTitle;
    dialogs_.onModal = [&](QDialog *dialog) {
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      timeTitle = TitleOnDisplay(dialog);
      dialog->reject();
    };
    QTest::mouseClick(Form1->Utimeout, Qt::LeftButton);
    dialogs_.onModal = nullptr;
    QCOMPARE(timeTitle, QString("Time Control"));
  }

  // The titles stay in view when the list is scrolled to its end; a drag
  // over the Select column ticks nothing on the way, a key move does.
  void commandListTitlesAndMarks() {
    QTabBar *tabs = Form1->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    QTableWidget *grid = Form1->StringGrid1;
    for (int row = 1; row <= 5; ++row)
      Form1->SetGridText(row, 0, "No");

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellCentre(1, 5));
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    QTRY_VERIFY(grid->rowAt(0) > 1);
    QHeaderView *titles = grid->horizontalHeader();
    QVERIFY(titles->isVisible() && titles->height() > 0);
    const QStringList expected = {"Select", "Function", "Data", "Command to Send", "Reply", "Note"};
    for (int column = 0; column < expected.size(); ++column)
      QCOMPARE(grid->model()->headerData(column, Qt::Horizontal).toString(), expected[column]);
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QTRY_COMPARE(grid->rowAt(1), 1);

    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, CellCentre(1, 0));
    for (int row = 2; row <= 4; ++row)
      QTest::mouseMove(grid->viewport(), CellCentre(row, 0));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, CellCentre(4, 0));
    QCOMPARE(grid->selectedRanges().value(0).rowCount(), 4); // the drag went over rows 1 to 4
    const QStringList marks = {Form1->GridText(1, 0), Form1->GridText(2, 0), Form1->GridText(3, 0),
                               Form1->GridText(4, 0)};
    QCOMPARE(marks, (QStringList{"Yes", "No", "No", "No"}));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(Form1->GridText(5, 0), QString("Yes"));
  }

  // In a larger font each motor status title shows whole: on one line, no
  // column narrower than its designed width, where the screen has room for
  // that; else on the two lines of a title row high enough for them, each
  // word whole.
  void motorStatusTitlesFit() {
    QFont larger = UmotorPara->font();
    larger.setPointSize(12);
    UmotorPara->setFont(larger);
    UmotorPara->show();
    QVERIFY(QTest::qWaitForWindowExposed(UmotorPara));
    QTableWidget *grid = UmotorPara->StringGrid1;
    // what the grid's cell drawing needs for a text, margins included
    QStyleOptionViewItem option;
    option.initFrom(grid);
    option.font = grid->font();
    option.features = QStyleOptionViewItem::HasDisplay;
    const auto needed = [&](const QString &text) {
      option.text = text;
      return grid->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), grid).width();
    };
    const bool twoLines = grid->wordWrap();
    QStringList cut;
    for (int column = 0; column < TUmotorPara::ColumnCount; ++column) {
      const QString title = grid->model()->index(0, column).data().toString();
      for (const QString &part : twoLines ? title.split(' ') : QStringList{title})
        if (needed(part) > grid->columnWidth(column))
          cut << title;
    }
    QCOMPARE(cut, QStringList());
    if (twoLines)
      QVERIFY(grid->rowHeight(0) >= 2 * QFontMetrics(grid->font()).lineSpacing());
    else
      QVERIFY(grid->columnWidth(0) >= 64 && grid->columnWidth(11) >= 116);
    UmotorPara->hide();
  }
};

VDD_TEST_MAIN(TestDialogsAndGrids)
#include "test_dialogs_and_grids.moc"
