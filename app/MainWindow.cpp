// Start-up of the main window, its first activation, the tab rules, the key
// code box, the help command and the checksum tool.
#include "app/MainWindow.h"

#include "app/Dialogs.h"
#include "app/TrafficLogWiring.h"
#include "app/VirtualKeyCode.h"
#include "app/WindowState.h"
#include "app/drive/DriveCountsWiring.h"
#include "app/drive/TUmotorPara.h"
#include "app/help/UserGuide.h"
#include "app/params/TInputBox.h"
#include "app/settings/TProtocolSet.h"
#include "app/tools/FindDrivesWiring.h"
#include "app/tools/TCheckSum.h"
#include "app/trend/TrendWiring.h"
#include "base/AppPaths.h"
#include "portwatch/PortKeeper.h"
#include "protocol/HexText.h"
#include "serial/TComm.h"
#include "session/FunctionTable.h"
#include "session/ParameterRuns.h"
#include "settings/TableModel.h"
#include "settings/TableStore.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

TForm1 *Form1 = nullptr;
TProtocolSet *ProtocolSet = nullptr;
TUmotorPara *UmotorPara = nullptr;
TInputBox *InputBox = nullptr;

namespace {

// One cell of the platform's check-box glyphs, ticked or empty.
QPixmap CheckBoxGlyph(const QWidget *widget, bool checked) {
  const QStyle *style = widget->style();
  const int w = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget);
  const int h = style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, widget);
  QPixmap pixmap(w, h);
  pixmap.fill(Qt::transparent);
  QStyleOptionButton option;
  option.initFrom(widget);
  option.rect = QRect(0, 0, w, h);
  option.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
  QPainter painter(&pixmap);
  style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, widget);
  return pixmap;
}
} // namespace

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent), Engine(new TExchangeEngine(this)), State(Engine->State),
      TimeoutMs(Engine->TimeoutMs) {
  BuildLayout();
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageControl1Change(); });
  connect(Exit2, &QAction::triggered, this, [this] { Exit2Click(); });
  connect(DravoHelp1, &QAction::triggered, this, [this] { DravoHelp1Click(); });
  connect(CheckSum1, &QAction::triggered, this, [this] { CheckSum1Click(); });
  connect(About1, &QAction::triggered, this, [] { Dialogs::ShowMessage(AboutText()); });
  WireCommunication();
  WireDrive();
  WireParams();
  WireSequences();
  WireSettings();
  WireTrafficLog(this);
  WireTrend(this);
  WireFindDrives(this);
  WireDriveCounts(this);
  FormCreate();
  RestoreWindowState(this);
}

TForm1::~TForm1() {
  delete Runs; // it works on the function table
  delete DataSource1;
  delete Functions;
}

void TForm1::FormCreate() {
  UncheckedBitmap = CheckBoxGlyph(StringGrid1, false);
  CheckedBitmap = CheckBoxGlyph(StringGrid1, true);
  // The mouse-wheel stepping of DBGrid1 (WheelStep) is installed with the
  // function table's wiring.
  try {
    ADOConnection1->Reconnect(AppPaths::DataFolder());
  } catch (const std::exception &error) {
    // Raised while the window is being built, outside any handler: shown in
    // the error box like any other error instead of ending the program. The
    // store reports the missing folder again when a table is opened.
    Dialogs::ShowError(QString::fromLocal8Bit(error.what()));
  }
  const QStringList titles = {QStringLiteral("Select"), QStringLiteral("Function"),
                              QStringLiteral("Data"),   QStringLiteral("Command to Send"),
                              QStringLiteral("Reply"),  QStringLiteral("Note")};
  for (int c = 0; c < titles.size(); ++c)
    StringGrid1->item(0, c)->setText(titles[c]);
  StringGrid1->setHorizontalHeaderLabels(titles);
  Comm1->ClosePort(); // the port configuration opens it at the first activation
  Activated = false;
}

void TForm1::FormActivate() {
  if (Activated)
    return; // later activations (a dialog closing) must not reload anything
  {
    // Selecting the tab in code must run the tab rules exactly once.
    const QSignalBlocker blocker(PageControl1);
    PageControl1->setCurrentIndex(0);
  }
  PageControl1Change();
  Activated = true;
  LoadProtocolSettings();
  ApplyPortSettings();
  StatusBar1->SetPanelText(1, QStringLiteral("   Total Record   0"));
  StatusBar1->SetPanelText(2, QStringLiteral("   Error Record   0"));
  StatusBar1->SetPanelText(3, QStringLiteral("   Timeout Record   0"));
  LoadDriveSettings();
  LoadCommandList();
  PrevMachineID = MachineIDText().toStdString();
  try {
    DriveSeriesExit();
  } catch (const std::exception &error) {
    // A missing or damaged function table is reported; the rest of the
    // start-up still has to happen.
    Dialogs::ShowError(QString::fromLocal8Bit(error.what()));
  }
  LoadDecimalSeparator();
  DataFolder = AppPaths::DataFolder();
}

void TForm1::PageControl1Change() {
  Engine->RestartInterval();
  Engine->RestartReplyWait();
  const int tab = ActiveTab();
  const bool sequenceTab = tab == SequencePage;
  Engine->SetSequenceShown(sequenceTab);
  for (QWidget *control : std::initializer_list<QWidget *>{URepeatTimes, UErrorCheck, UTimeoutCheck,
                                                           UAddChecksum, UTimeineterval})
    control->setEnabled(sequenceTab);
  UAddChecksum->setEnabled(sequenceTab && !Engine->TcpFraming()); // TCP frames carry no checksum
  if (!sequenceTab)
    Engine->SetSequenceAwaitingReply(false);
  ImportFunctions1->setEnabled(tab == FunctionsPage);
  ExportFunctions1->setEnabled(tab == FunctionsPage);
  Import->setEnabled(sequenceTab);
  Export1->setEnabled(sequenceTab);
}

int TForm1::ActiveTab() const { return PageControl1->currentIndex(); }

QString TForm1::MachineIDText() const { return MachineID->currentText(); }

void TForm1::Exit2Click() { close(); }

void TForm1::DravoHelp1Click() {
  switch (OpenUserGuide()) {
  case GuideOpening::Opened:
    break;
  case GuideOpening::NoViewer:
    // a terminal program started from a window would have nowhere to show
    Dialogs::ShowMessage(QStringLiteral("No program to show the user guide is installed.\n"
                                        "The user guide is at:\n%1\nOpen it in a web browser.")
                             .arg(QDir::toNativeSeparators(UserGuidePath())));
    break;
  case GuideOpening::NoGuide:
  case GuideOpening::Failed:
    Dialogs::ShowMessage(QStringLiteral("Path error or file destroyed!Please reinstall the software!"));
    break;
  }
}

void TForm1::CheckSum1Click() {
  TCheckSumBox box(this);
  Dialogs::ExecModal(&box);
}

bool TForm1::event(QEvent *event) {
  if (event->type() == QEvent::WindowActivate) {
    FormActivate();
  } else if (event->type() == QEvent::Show && !Activated) {
    // Without a window manager (a virtual display, a kiosk session) the
    // window is shown but never made active; the first activation's work
    // must run all the same, once the window is up.
    QTimer::singleShot(0, this, [this] { FormActivate(); });
  }
  return QMainWindow::event(event);
}

void TForm1::closeEvent(QCloseEvent *event) {
  StopTrafficBeforeClose();
  bool mayClose = true;
  try {
    mayClose = FormCloseQuery();
  } catch (const std::exception &error) {
    Dialogs::ShowError(QString::fromLocal8Bit(error.what()));
  }
  if (!mayClose) {
    // The user keeps working: the ticks and the port keeping go on.
    UpcSend->start();
    PortKeeper->Follow();
    event->ignore();
    return;
  }
  SaveWindowState(this);
  event->accept();
}

void TForm1::EndWithoutAsking() {
  EndingWithoutQuestions = true;
  close();
}

// Nothing may run on behind the close question: a step of read all would
// use the table that saving the settings reopens, and its messages would
// cover the question. The ticks end here too; they start again only when
// the user keeps the window after a save that failed.
void TForm1::StopTrafficBeforeClose() {
  UpcSend->stop();
  PortKeeper->Forget();
  Runs->CancelReadAll();
  Runs->CancelWriteAll();
  Engine->DropQueuedReadAndModify();
  if (State.ScanRunning)
    UPeriodScanClick();
  Engine->SetSequenceRunning(false);
  Engine->SetSequenceStopRequested(false);
  Engine->SetSequenceAwaitingReply(false);
}

void TForm1::keyPressEvent(QKeyEvent *event) {
  // Keys typed into a control that it does not use travel up to the window;
  // only a key pressed while the window itself holds the focus is reported.
  const QWidget *focus = QApplication::focusWidget();
  if (focus != nullptr && focus != this) {
    QMainWindow::keyPressEvent(event);
    return;
  }
  // A modifier pressed alone is the start of a shortcut (Ctrl+I, Ctrl+E):
  // a box here would take the focus before the second key arrives.
  switch (event->key()) {
  case Qt::Key_Control:
  case Qt::Key_Shift:
  case Qt::Key_Alt:
  case Qt::Key_AltGr:
  case Qt::Key_Meta:
  case Qt::Key_Super_L:
  case Qt::Key_Super_R:
    QMainWindow::keyPressEvent(event);
    return;
  default:
    break;
  }
  Dialogs::ShowMessage(QString::number(VirtualKeyCode(event->key())));
}

void CreateApplicationWindows() {
  Form1 = new TForm1;
  // Owned by the main window so that closing it ends the program even while
  // one of them is showing.
  ProtocolSet = new TProtocolSet(Form1);
  UmotorPara = new TUmotorPara(Form1);
  InputBox = new TInputBox(Form1);
}

void DestroyApplicationWindows() {
  delete InputBox;
  InputBox = nullptr;
  delete UmotorPara;
  UmotorPara = nullptr;
  delete ProtocolSet;
  ProtocolSet = nullptr;
  delete Form1;
  Form1 = nullptr;
}
