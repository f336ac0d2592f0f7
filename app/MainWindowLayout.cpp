// The controls of the main window and where they stand. Nothing here reacts
// to the user: each subsystem connects its own handlers in its Wire... routine.
#include "app/MainWindow.h"

#include "app/ScreenFit.h"

#include "serial/TComm.h"
#include "session/DriveControl.h"
#include "session/DriveStatusModel.h"
#include "session/FunctionTable.h"
#include "session/PeriodScan.h"
#include "session/UserCommand.h"
#include "settings/TableModel.h"
#include "settings/TableStore.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

template <class T> T *Named(T *object, const char *name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}

QLabel *Caption(const QString &text, QWidget *parent) { return new QLabel(text, parent); }

QLineEdit *ReadOnlyEdit(const char *name, QWidget *parent) {
  auto *edit = Named(new QLineEdit(parent), name);
  edit->setReadOnly(true);
  return edit;
}

QToolButton *ToolButton(const char *name, const QString &caption, const QString &hint, QWidget *parent) {
  auto *button = Named(new QToolButton(parent), name);
  button->setText(caption);
  button->setToolTip(hint);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  button->setAutoRaise(false);
  return button;
}

// The grid inside one of the control tab's groups, packed so that both rows
// of groups fit the window's design height.
QGridLayout *GroupGrid(QGroupBox *group) {
  auto *grid = new QGridLayout(group);
  grid->setContentsMargins(8, 4, 8, 4);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  return grid;
}

QStringList NumberItems(int from, int to) {
  QStringList items;
  for (int i = from; i <= to; ++i)
    items << QString::number(i);
  return items;
}

QComboBox *AddressCombo(const char *name, int from, int to, int initialIndex, QWidget *parent) {
  auto *combo = Named(new QComboBox(parent), name);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert); // typed addresses are not added to the list
  combo->addItems(NumberItems(from, to));
  combo->setCurrentIndex(initialIndex);
  return combo;
}

} // namespace

void TForm1::BuildLayout() {
  setWindowTitle(QStringLiteral("Vossek Drive Desk"));
  // The design font ("MS Sans Serif" 8 pt) is not found on Linux; the
  // desktop's own sans-serif at the same size stands in for it.
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  setFont(font);
  // The design size where the screen has room for it; on a smaller screen,
  // or at a larger scale factor, the window fits the screen and its form
  // scrolls.
  ScreenFit::PlaceOnScreen(this, 1021, 737);
  ScreenFit::KeepOnScreen(this);

  // ---- non-visual components ---------------------------------------------
  UpcSend = Engine->Timer;
  Comm1 = Named(new TComm(this), "Comm1");
  Comm1->SetCommName(QStringLiteral("COM2"));
  Comm1->SetDtrControl(TDtrControl::DtrEnable);
  Comm1->SetRtsControl(TRtsControl::RtsEnable);
  Comm1->SetTxContinueOnXoff(true);
  Comm1->SetXonLimit(500);
  Comm1->SetXoffLimit(500);
  Comm1->SetByteSize(TByteSize::_8);
  Comm1->SetParity(TParity::None);
  Comm1->SetStopBits(TStopBits::_1);
  Comm1->SetXonChar(0x11);
  Comm1->SetXoffChar(0x13);
  Comm1->SetReplacedChar(0);
  Comm1->SetReadIntervalTimeout(10);
  Comm1->SetReadTotalTimeoutMultiplier(0);
  Comm1->SetReadTotalTimeoutConstant(0);
  Comm1->SetWriteTotalTimeoutMultiplier(0);
  Comm1->SetWriteTotalTimeoutConstant(0);
  // The table store: one connection and the one shared query, both the
  // function table's, and the grid's view of the query.
  Functions = new FunctionTable(this);
  ADOConnection1 = &Functions->Connection();
  ADOQuery1 = Named(&Functions->Query(), "ADOQuery1");
  DataSource1 = Named(new TTableModel(ADOQuery1, this), "DataSource1");
  Scan = new PeriodScan(*Engine, this);
  DriveStatus = new DriveStatusModel(*Engine, this);
  Control = new DriveControl(*Engine, this);
  OwnCommand = new UserCommand(*Engine, this);

  // ---- main menu -----------------------------------------------------------
  QMenu *file1 = Named(menuBar()->addMenu(QStringLiteral("&File")), "File1");
  Import = Named(file1->addAction(QStringLiteral("&Import User's Define")), "Import");
  Export1 = Named(file1->addAction(QStringLiteral("&Export User's Define")), "Export1");
  ImportFunctions1 = Named(file1->addAction(QStringLiteral("Import Functions")), "ImportFunctions1");
  ImportFunctions1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  ExportFunctions1 = Named(file1->addAction(QStringLiteral("Export Functions")), "ExportFunctions1");
  ExportFunctions1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  file1->addSeparator();
  Exit2 = Named(file1->addAction(QStringLiteral("E&xit")), "Exit2");
  QMenu *tool1 = Named(menuBar()->addMenu(QStringLiteral("Tool")), "tool1");
  CheckSum1 = Named(tool1->addAction(QStringLiteral("CheckSum")), "CheckSum1");
  Trend1 = Named(tool1->addAction(QStringLiteral("Trend")), "Trend1");
  FindDrives1 = Named(tool1->addAction(QStringLiteral("Find Drives\u2026")), "FindDrives1");
  QMenu *help1 = Named(menuBar()->addMenu(QStringLiteral("Help")), "Help1");
  DravoHelp1 = Named(help1->addAction(QStringLiteral("VDD User Guide")), "DravoHelp1");
  Version101 = Named(help1->addAction(QStringLiteral("Version 1.0")), "Version101");
  About1 = Named(help1->addAction(QStringLiteral("About")), "About1");

  // ---- tool bar --------------------------------------------------------------
  ToolBar1 = Named(new QToolBar(this), "ToolBar1");
  ToolBar1->setFixedHeight(49);
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->toggleViewAction()->setVisible(false);
  addToolBar(Qt::TopToolBarArea, ToolBar1);
  UProtocol = ToolButton("UProtocol", "  Protocol ", "Set communication protocol", ToolBar1);
  UmotorScan = ToolButton("UmotorScan", "UmotorScan", "Display motor status", ToolBar1);
  UdefRun = ToolButton("UdefRun", "    RUN    ", "RUN", ToolBar1);
  UdefStop = ToolButton("UdefStop", "   STOP   ", "STOP", ToolBar1);
  UTimeineterval =
      ToolButton("UTimeineterval", "Timeinterval", "Set the time interval of the user's define", ToolBar1);
  Utimeout = ToolButton("Utimeout", " Timeout  ", "Set time out", ToolBar1);
  for (QToolButton *button : {UProtocol, UmotorScan, UdefRun, UdefStop, UTimeineterval, Utimeout})
    ToolBar1->addWidget(button);
  ToolBar1->addSeparator();
  auto *repeatBox = new QWidget(ToolBar1);
  auto *repeatLayout = new QVBoxLayout(repeatBox);
  repeatLayout->setContentsMargins(6, 2, 6, 2);
  repeatLayout->setSpacing(2);
  repeatLayout->addWidget(Caption(QStringLiteral("Repeat Times (0 :always do)"), repeatBox));
  URepeatTimes = Named(new QLineEdit(QStringLiteral("1"), repeatBox), "URepeatTimes");
  URepeatTimes->setFixedWidth(60);
  repeatLayout->addWidget(URepeatTimes);
  ToolBar1->addWidget(repeatBox);
  ToolBar1->addSeparator();

  auto *conditionsBox = new QWidget(ToolBar1);
  auto *conditionsLayout = new QGridLayout(conditionsBox);
  conditionsLayout->setContentsMargins(6, 2, 6, 2);
  conditionsLayout->setVerticalSpacing(2);
  conditionsLayout->addWidget(Caption(QStringLiteral("Terminated Conditions"), conditionsBox), 0, 0, 1, 2);
  UErrorCheck = Named(new QCheckBox(QStringLiteral("Error Occur"), conditionsBox), "UErrorCheck");
  UTimeoutCheck = Named(new QCheckBox(QStringLiteral("Time Out"), conditionsBox), "UTimeoutCheck");
  conditionsLayout->addWidget(UErrorCheck, 1, 0);
  conditionsLayout->addWidget(UTimeoutCheck, 1, 1);
  ToolBar1->addWidget(conditionsBox);
  ToolBar1->addSeparator();
  UAddChecksum = Named(new QCheckBox(QStringLiteral("Add checksum into command"), ToolBar1), "UAddChecksum");
  UAddChecksum->setChecked(true); // a drive answers no step without its checksum
  ToolBar1->addWidget(UAddChecksum);
  UEnOrCn = ToolButton("UEnOrCn", "CN/EN", QString(), ToolBar1);
  ToolBar1->addWidget(UEnOrCn)->setVisible(false); // kept for the design, never shown

  // ---- tabs ------------------------------------------------------------------
  auto *central = Named(new QWidget, "MainForm");
  auto *centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(2, 2, 2, 0);
  centralLayout->setSpacing(2);
  setCentralWidget(ScreenFit::Scrolling(central, this));

  PageControl1 = Named(new QTabWidget(central), "PageControl1");
  TabSheet1 = Named(new QWidget, "TabSheet1");
  TabSheet2 = Named(new QWidget, "TabSheet2");
  TabSheet3 = Named(new QWidget, "TabSheet3");
  PageControl1->addTab(TabSheet1, QStringLiteral("VOSSEK COM"));
  PageControl1->addTab(TabSheet2, QStringLiteral("VOSSEK R&&W"));
  PageControl1->addTab(TabSheet3, QStringLiteral("User's Define"));
  // The history group sits below the tabs in a splitter: dragging the
  // handle, or enlarging the window, gives the pane more lines.
  HistorySplitter = Named(new QSplitter(Qt::Vertical, central), "HistorySplitter");
  HistorySplitter->setChildrenCollapsible(false);
  HistorySplitter->addWidget(PageControl1);
  centralLayout->addWidget(HistorySplitter, 1);

  // Tab 0 "VOSSEK COM": six groups in two rows.
  auto *comLayout = new QGridLayout(TabSheet1);
  comLayout->setContentsMargins(4, 4, 4, 4);
  comLayout->setSpacing(4);

  auto *statusGroup = Named(new QGroupBox(QStringLiteral("Status"), TabSheet1), "GroupBox2");
  auto *statusLayout = GroupGrid(statusGroup);
  statusLayout->addWidget(Caption(QStringLiteral("Select Machine Series"), statusGroup), 0, 0, 1, 4);
  DriveSeries = Named(new QComboBox(statusGroup), "DriveSeries");
  DriveSeries->addItem(QStringLiteral("RM40"));
  statusLayout->addWidget(DriveSeries, 1, 0, 1, 4);
  struct LampSpec {
    TShape **lamp;
    const char *name;
    const char *caption;
  };
  const LampSpec lamps[] = {{&UrunShape, "UrunShape", "RUN"},      {&UstopShape, "UstopShape", "STOP"},
                            {&UfwdShape, "UfwdShape", "FWD"},      {&UrevShape, "UrevShape", "REV"},
                            {&UjogShape, "UjogShape", "JOG"},      {&UfaultShape, "UfaultShape", "FAULT"},
                            {&UcomShape, "UcomShape", "COM ERROR"}};
  for (int i = 0; i < 7; ++i) {
    *lamps[i].lamp = Named(new TShape(statusGroup), lamps[i].name);
    const int row = 2 + i / 2;
    const int col = (i % 2) * 2;
    statusLayout->addWidget(*lamps[i].lamp, row, col);
    statusLayout->addWidget(Caption(QString::fromLatin1(lamps[i].caption), statusGroup), row, col + 1);
  }
  statusLayout->setColumnStretch(1, 1);
  statusLayout->setColumnStretch(3, 1);
  statusLayout->setRowStretch(6, 1);
  comLayout->addWidget(statusGroup, 0, 0);

  auto *motorGroup = Named(new QGroupBox(QStringLiteral("Motor Status"), TabSheet1), "GroupBox3");
  auto *motorLayout = GroupGrid(motorGroup);
  motorLayout->addWidget(Caption(QStringLiteral("Parameter"), motorGroup), 0, 0);
  motorLayout->addWidget(Caption(QStringLiteral("Value"), motorGroup), 0, 1);
  motorLayout->addWidget(Caption(QStringLiteral("Unit"), motorGroup), 0, 2);
  UoutFreq = ReadOnlyEdit("UoutFreq", motorGroup);
  UdcVoltage = ReadOnlyEdit("UdcVoltage", motorGroup);
  UoutVoltage = ReadOnlyEdit("UoutVoltage", motorGroup);
  UoutSpeed = ReadOnlyEdit("UoutSpeed", motorGroup);
  UoutCurrent = ReadOnlyEdit("UoutCurrent", motorGroup);
  machinestate = ReadOnlyEdit("machinestate", motorGroup);
  Label16 = Named(Caption(QStringLiteral("Output Speed"), motorGroup), "Label16");
  Label20 = Named(Caption(QStringLiteral("r/min"), motorGroup), "Label20");
  struct MotorRow {
    QLabel *label;
    QLineEdit *edit;
    QLabel *unit;
  };
  const MotorRow motorRows[] = {
      {Caption(QStringLiteral("Output Freq"), motorGroup), UoutFreq,
       Caption(QStringLiteral("Hz"), motorGroup)},
      {Caption(QStringLiteral("DC Voltage"), motorGroup), UdcVoltage,
       Caption(QStringLiteral("V"), motorGroup)},
      {Caption(QStringLiteral("Output Voltage"), motorGroup), UoutVoltage,
       Caption(QStringLiteral("V"), motorGroup)},
      {Label16, UoutSpeed, Label20},
      {Caption(QStringLiteral("Output Current"), motorGroup), UoutCurrent,
       Caption(QStringLiteral("A"), motorGroup)},
      {Caption(QStringLiteral("Machine Status"), motorGroup), machinestate, nullptr}};
  for (int i = 0; i < 6; ++i) {
    motorLayout->addWidget(motorRows[i].label, i + 1, 0);
    motorLayout->addWidget(motorRows[i].edit, i + 1, 1);
    if (motorRows[i].unit)
      motorLayout->addWidget(motorRows[i].unit, i + 1, 2);
  }
  motorLayout->setColumnStretch(1, 1);
  motorLayout->setRowStretch(7, 1);
  comLayout->addWidget(motorGroup, 0, 1);

  auto *paramsGroup = Named(new QGroupBox(QStringLiteral("Common Paras"), TabSheet1), "GroupBox5");
  auto *paramsLayout = GroupGrid(paramsGroup);
  paramsLayout->addWidget(Caption(QStringLiteral("Slave  Addrress"), paramsGroup), 0, 0);
  MachineID = AddressCombo("MachineID", 1, 60, 0, paramsGroup);
  paramsLayout->addWidget(MachineID, 0, 1);
  struct ParamRow {
    TClickEdit **edit;
    const char *name;
    const char *label;
    const char *text;
    const char *unit;
  };
  const ParamRow paramRows[] = {
      {&Edit9, "Edit9", "Frequency", "40.00", "Hz"},   {&Edit10, "Edit10", "Acc Time", "30.0", "S"},
      {&Edit11, "Edit11", "Dec Time", "30.0", "S"},    {&Edit12, "Edit12", "Jog Frequency", "5.00", "Hz"},
      {&Edit13, "Edit13", "Jog AccTime", "10.0", "S"}, {&Edit14, "Edit14", "Jog Dec Time", "10.0", "S"}};
  for (int i = 0; i < 6; ++i) {
    auto *edit =
        Named(new TClickEdit(QString::fromLatin1(paramRows[i].text), paramsGroup), paramRows[i].name);
    edit->setReadOnly(true);
    *paramRows[i].edit = edit;
    paramsLayout->addWidget(Caption(QString::fromLatin1(paramRows[i].label), paramsGroup), i + 1, 0);
    paramsLayout->addWidget(edit, i + 1, 1);
    paramsLayout->addWidget(Caption(QString::fromLatin1(paramRows[i].unit), paramsGroup), i + 1, 2);
  }
  paramsLayout->setColumnStretch(1, 1);
  paramsLayout->setRowStretch(7, 1);
  comLayout->addWidget(paramsGroup, 0, 2);

  auto *commandGroup = Named(new QGroupBox(QStringLiteral("Com Command"), TabSheet1), "GroupBox6");
  auto *commandLayout = GroupGrid(commandGroup);
  UFwdStart = Named(new QPushButton(QStringLiteral("F&WD START"), commandGroup), "UFwdStart");
  URevStart = Named(new QPushButton(QStringLiteral("&REV START"), commandGroup), "URevStart");
  UDecStop = Named(new QPushButton(QStringLiteral("&DEC STOP"), commandGroup), "UDecStop");
  UFreeStop = Named(new QPushButton(QStringLiteral("FREE STO&P"), commandGroup), "UFreeStop");
  UStart = Named(new QPushButton(QStringLiteral("&START"), commandGroup), "UStart");
  UReset = Named(new QPushButton(QStringLiteral("RESE&T"), commandGroup), "UReset");
  UFwdJog = Named(new QPushButton(QStringLiteral("FWD JOG"), commandGroup), "UFwdJog");
  URevJog = Named(new QPushButton(QStringLiteral("REV JOG"), commandGroup), "URevJog");
  QPushButton *const commandOrder[] = {UFwdStart, URevStart, UDecStop, UFreeStop,
                                       UStart,    UReset,    UFwdJog,  URevJog};
  for (int i = 0; i < 8; ++i)
    commandLayout->addWidget(commandOrder[i], i / 2, i % 2);
  CheckBox1 = Named(new QCheckBox(QStringLiteral("Broadcast"), commandGroup), "CheckBox1");
  commandLayout->addWidget(CheckBox1, 4, 0, 1, 2);
  commandLayout->setRowStretch(5, 1);
  comLayout->addWidget(commandGroup, 1, 0);

  auto *userGroup = Named(new QGroupBox(QStringLiteral("User's Command"), TabSheet1), "GroupBox4");
  auto *userLayout = GroupGrid(userGroup);
  userLayout->addWidget(Caption(QStringLiteral("Motor Addr"), userGroup), 0, 0);
  UdefineMachine = AddressCombo("UdefineMachine", 0, 60, 1, userGroup);
  userLayout->addWidget(UdefineMachine, 1, 0);
  userLayout->addWidget(Caption(QStringLiteral("Function"), userGroup), 0, 1);
  RandW = Named(new QComboBox(userGroup), "RandW");
  RandW->addItems({QStringLiteral("Read"), QStringLiteral("Write")});
  userLayout->addWidget(RandW, 1, 1);
  userLayout->addWidget(Caption(QStringLiteral("Address"), userGroup), 2, 0);
  UdefineAddr = Named(new QLineEdit(QStringLiteral("1000"), userGroup), "UdefineAddr");
  userLayout->addWidget(UdefineAddr, 3, 0);
  userLayout->addWidget(Caption(QStringLiteral("H"), userGroup), 3, 1);
  LengthOrData = Named(Caption(QStringLiteral("Length"), userGroup), "LengthOrData");
  userLayout->addWidget(LengthOrData, 4, 0);
  Edit7 = Named(new QLineEdit(QStringLiteral("1"), userGroup), "Edit7");
  userLayout->addWidget(Edit7, 5, 0);
  Label44 = Named(Caption(QStringLiteral("H"), userGroup), "Label44");
  userLayout->addWidget(Label44, 5, 1);
  userLayout->addWidget(Caption(QStringLiteral("Hint: Hex Data used"), userGroup), 6, 0);
  UserDefineSend = Named(new QPushButton(QStringLiteral("Se&nd"), userGroup), "UserDefineSend");
  userLayout->addWidget(UserDefineSend, 6, 1);
  userLayout->setColumnStretch(0, 1);
  userLayout->setColumnStretch(1, 1);
  userLayout->setRowStretch(7, 1);
  comLayout->addWidget(userGroup, 1, 1);

  auto *scanGroup = Named(new QGroupBox(QStringLiteral("Period Scan"), TabSheet1), "GroupBox7");
  auto *scanLayout = GroupGrid(scanGroup);
  SeriesType = Named(new QRadioButton(QStringLiteral("Series Scan :"), scanGroup), "SeriesType");
  SeriesType->setChecked(true);
  scanLayout->addWidget(SeriesType, 0, 0, 1, 4);
  scanLayout->addWidget(Caption(QStringLiteral("Start Motor Addr"), scanGroup), 1, 1);
  scanLayout->addWidget(Caption(QStringLiteral("Stop Motor Addr"), scanGroup), 1, 3);
  scanLayout->addWidget(Caption(QStringLiteral("From"), scanGroup), 2, 0, Qt::AlignRight);
  SeriesStart = Named(new QLineEdit(QStringLiteral("1"), scanGroup), "SeriesStart");
  scanLayout->addWidget(SeriesStart, 2, 1);
  scanLayout->addWidget(Caption(QStringLiteral("to"), scanGroup), 2, 2, Qt::AlignHCenter);
  SeriesStop = Named(new QLineEdit(QStringLiteral("1"), scanGroup), "SeriesStop");
  scanLayout->addWidget(SeriesStop, 2, 3);
  ArbitraryType = Named(new QRadioButton(QStringLiteral("Arbitrary Scan :"), scanGroup), "ArbitraryType");
  scanLayout->addWidget(ArbitraryType, 3, 0, 1, 4);
  ArbitraryNum = Named(new QLineEdit(QStringLiteral("1"), scanGroup), "ArbitraryNum");
  scanLayout->addWidget(ArbitraryNum, 4, 1);
  scanLayout->addWidget(Caption(QStringLiteral("(e.g: 1,3,4,20)"), scanGroup), 4, 2, 1, 2);
  scanLayout->addWidget(Caption(QStringLiteral("Scan Period :"), scanGroup), 5, 0, 1, 1);
  ScanPeriod = Named(new QLineEdit(QStringLiteral("100"), scanGroup), "ScanPeriod");
  scanLayout->addWidget(ScanPeriod, 5, 1);
  scanLayout->addWidget(Caption(QStringLiteral("ms"), scanGroup), 5, 2);
  ScanPeriodRange = Named(Caption(QString(), scanGroup), "ScanPeriodRange");
  ShowScanPeriodRange();
  scanLayout->addWidget(ScanPeriodRange, 6, 1, 1, 3);
  UPeriodScan = Named(new QPushButton(QStringLiteral("Scan"), scanGroup), "UPeriodScan");
  scanLayout->addWidget(UPeriodScan, 7, 3);
  scanLayout->setColumnStretch(1, 1);
  scanLayout->setColumnStretch(3, 1);
  scanLayout->setRowStretch(8, 1);
  comLayout->addWidget(scanGroup, 1, 2);
  comLayout->setColumnStretch(0, 3);
  comLayout->setColumnStretch(1, 4);
  comLayout->setColumnStretch(2, 4);

  // Tab 1 "VOSSEK R&W": the function table and the read all / write all side.
  auto *rwLayout = new QHBoxLayout(TabSheet2);
  rwLayout->setContentsMargins(6, 6, 6, 6);
  DBGrid1 = Named(new QTableView(TabSheet2), "DBGrid1");
  DBGrid1->setModel(DataSource1);
  DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid1->setShowGrid(true);
  DBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  // Narrow enough that MODIFY, the column the user clicks, shows beside the
  // hints without scrolling; NAME gets the room that is left.
  DBGrid1->horizontalHeader()->setDefaultSectionSize(78);
  connect(DataSource1, &QAbstractItemModel::modelReset, DBGrid1, [this] { DBGrid1->setColumnWidth(1, 190); });
  DBGrid1->verticalHeader()->setDefaultSectionSize(20);
  rwLayout->addWidget(DBGrid1, 1);
  auto *rwSide = new QVBoxLayout;
  for (const char *hint :
       {"Hint:", "1. How to read function's parameters?", "Select functon line and click the  ",
        "corresponding cell in  'MODIFY' column.", "and click 'read' button.",
        "2. How to modify function's parameters?", "Select functon line and click the  ",
        "corresponding cell in  'MODIFY' column.", "and click 'write' button."})
    rwSide->addWidget(Caption(QString::fromLatin1(hint), TabSheet2));
  rwSide->addStretch(1);
  CheckBox2 = Named(new QCheckBox(QStringLiteral("Continue when communication errors happen "), TabSheet2),
                    "CheckBox2");
  rwSide->addWidget(CheckBox2);
  ReadAll = Named(new QPushButton(QStringLiteral("Read all functions_ok"), TabSheet2), "ReadAll");
  WriteAll = Named(new QPushButton(QStringLiteral("Write all functions_ok"), TabSheet2), "WriteAll");
  rwSide->addWidget(ReadAll);
  rwSide->addWidget(WriteAll);
  ReadWriteProgress = Named(new QLabel(TabSheet2), "ReadWriteProgress");
  ReadWriteProgress->setWordWrap(true);
  // Two lines kept for it from the start: a text that wraps ("about 2:55
  // left") must not move the buttons above it while the user aims at one.
  ReadWriteProgress->setFixedHeight(2 * ReadWriteProgress->fontMetrics().lineSpacing() + 4);
  rwSide->addWidget(ReadWriteProgress);
  VerifyWriteAll = Named(new QCheckBox(QStringLiteral("Read back and verify after write all"), TabSheet2),
                         "VerifyWriteAll");
  rwSide->addWidget(VerifyWriteAll);
  CompareParameters =
      Named(new QPushButton(QStringLiteral("Compare parameters..."), TabSheet2), "CompareParameters");
  rwSide->addWidget(CompareParameters);
  rwLayout->addLayout(rwSide);

  // Tab 2 "User's Define": the command list and its controls.
  auto *userDefLayout = new QHBoxLayout(TabSheet3);
  userDefLayout->setContentsMargins(6, 6, 6, 6);
  StringGrid1 = Named(new QTableWidget(36, 6, TabSheet3), "StringGrid1");
  StringGrid1->verticalHeader()->hide();
  StringGrid1->verticalHeader()->setDefaultSectionSize(22);
  // Row 0 holds the titles (saved and read with the rest of the list) but is
  // hidden: the grid's own header shows them, so they stay in view while
  // the list scrolls. FormCreate writes both.
  StringGrid1->setRowHidden(0, true);
  StringGrid1->horizontalHeader()->setSectionsClickable(false);
  StringGrid1->horizontalHeader()->setHighlightSections(false);
  // its columns fit the designed window; a smaller one scrolls to the last
  StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
  StringGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
  const int gridWidths[] = {64, 76, 79, 250, 256, 129};
  int gridWidth = 0;
  for (int c = 0; c < 6; ++c) {
    StringGrid1->setColumnWidth(c, gridWidths[c]);
    gridWidth += gridWidths[c];
  }
  QFont titleFont = StringGrid1->font();
  titleFont.setBold(true);
  for (int r = 0; r < StringGrid1->rowCount(); ++r)
    for (int c = 0; c < 6; ++c) {
      auto *item = new QTableWidgetItem;
      if (r == 0) {
        // Row 0 is the title row: not selectable, not editable, drawn like a header.
        item->setFlags(Qt::ItemIsEnabled);
        item->setFont(titleFont);
        item->setBackground(StringGrid1->palette().button());
        item->setTextAlignment(Qt::AlignCenter);
      }
      StringGrid1->setItem(r, c, item);
    }
  StringGrid1->setMinimumWidth(gridWidth / 2);
  userDefLayout->addWidget(StringGrid1, 1);
  auto *userDefSide = new QVBoxLayout;
  Ustradd = Named(new QPushButton(QStringLiteral("New"), TabSheet3), "Ustradd");
  ustrdel = Named(new QPushButton(QStringLiteral("Delete"), TabSheet3), "ustrdel");
  ustrinsert = Named(new QPushButton(QStringLiteral("Insert"), TabSheet3), "ustrinsert");
  userDefSide->addWidget(Ustradd);
  userDefSide->addWidget(ustrdel);
  userDefSide->addWidget(ustrinsert);
  UMODE = Named(new TRadioGroup(QStringLiteral("UMODE"),
                                {QStringLiteral("Function mode"), QStringLiteral("Command mode")}, TabSheet3),
                "UMODE");
  UMODE->SetItemIndex(0);
  userDefSide->addWidget(UMODE);
  RadioGroup1 =
      Named(new TRadioGroup(QString(), {QStringLiteral("Read"), QStringLiteral("Write")}, TabSheet3),
            "RadioGroup1");
  RadioGroup1->SetItemIndex(0);
  userDefSide->addWidget(RadioGroup1);
  SelectAll = Named(new QCheckBox(QStringLiteral("SelectAll"), TabSheet3), "SelectAll");
  userDefSide->addWidget(SelectAll);
  userDefSide->addStretch(1);
  userDefLayout->addLayout(userDefSide);

  // ---- history pane ------------------------------------------------------------
  auto *historyGroup = Named(new QGroupBox(central), "GroupBox1");
  auto *historyLayout = new QVBoxLayout(historyGroup);
  historyLayout->setContentsMargins(4, 2, 4, 4);
  historyLayout->setSpacing(2);
  Label1 = Named(new QLabel(QStringLiteral("Send && Rev"), historyGroup), "Label1");
  QFont boldFont = Label1->font();
  boldFont.setBold(true);
  Label1->setFont(boldFont);
  SendRevHistory = Named(new QTextEdit(historyGroup), "SendRevHistory");
  // With a buddy the label reads its doubled ampersand as one "&".
  Label1->setBuddy(SendRevHistory);
  SendRevHistory->setReadOnly(true);
  // every line added, completed, coloured or dropped would otherwise stay on
  // the undo stack: a pane left scanning for days would grow without end
  SendRevHistory->setUndoRedoEnabled(false);
  SendRevHistory->setAcceptRichText(true);
  SendRevHistory->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The bar paints every pixel of its own; said so, the frame behind it is
  // not drawn again each time new lines move it.
  SendRevHistory->verticalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent);
  SendRevHistory->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SkipTextShaping(SendRevHistory);
  SendRevHistory->setToolTip(QStringLiteral("It is only remember the last 100 records."));
  historyLayout->addWidget(Label1);
  historyLayout->addWidget(SendRevHistory, 1);
  historyGroup->setMinimumHeight(80);
  HistorySplitter->addWidget(historyGroup);
  HistorySplitter->setStretchFactor(0, 0);
  HistorySplitter->setStretchFactor(1, 1);

  PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
  Selectall1 = Named(PopupMenu1->addAction(QStringLiteral("Select All")), "Selectall1");
  clear1 = Named(PopupMenu1->addAction(QStringLiteral("Clear")), "clear1");
  copy1 = Named(PopupMenu1->addAction(QStringLiteral("Copy")), "copy1");
  PopupMenu1->addSeparator();
  OpenLogFolder1 = Named(PopupMenu1->addAction(QStringLiteral("Open log folder")), "OpenLogFolder1");
  SendRevHistory->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(SendRevHistory, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &pos) { PopupMenu1->popup(SendRevHistory->viewport()->mapToGlobal(pos)); });

  // ---- status bar -------------------------------------------------------------
  StatusBar1 = Named(new TStatusBar({400, 200, 200, 50}, this), "StatusBar1");
  StatusBar1->LetPanelGrow(0); // the port's state follows the settings there
  // the port's text gives way first in a narrow window, the counters stay readable
  StatusBar1->SetPanelLeast(3, QStringLiteral("   Timeout Record   000000"));
  setStatusBar(StatusBar1);
}
