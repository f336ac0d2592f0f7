#pragma once

#include "app/PendingHistory.h"
#include "app/Widgets.h"
#include "exchange/ExchangeEngine.h"

#include <QMainWindow>
#include <QPixmap>
#include <QStringList>
#include <string>

class QAction;
class SequenceRun;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTextEdit;
class QTimer;
class QToolBar;
class QToolButton;
class TComm;
class TPortKeeper;
class FunctionTable;
class ParameterRuns;
class PeriodScan;
class DriveControl;
class UserCommand;
class DriveStatusModel;
class StatusFreshness;
struct DriveStatusTexts;
class TTableConnection;
class TTableQuery;
class TTableModel;

// The main window "Vossek Drive Desk". It owns the serial component, the
// exchange engine (with the one timer and the shared communication state),
// the function table (the table store's connection and query), the
// parameter runs and the grids; it shows what the engine and the runs
// report and runs (or hands on) the steps the engine's tick calls. Its event
// handlers are defined in the files of the subsystem they belong to (app/,
// drive/, params/, sequences/, settings/); each subsystem connects its own
// handlers in its Wire... routine.
class TForm1 : public QMainWindow, public ExchangeSteps {
  Q_OBJECT
public:
  explicit TForm1(QWidget *parent = nullptr);
  ~TForm1() override;

  // ---- shared state -------------------------------------------------------
  TExchangeEngine *const Engine;
  const CommState &State; // the engine's

  // Main window fields
  bool Activated = false;
  QString DataFolder; // the data folder in use (AppPaths), or an imported table's folder
  QPixmap CheckedBitmap;
  QPixmap UncheckedBitmap;
  int &TimeoutMs;               // reply window, the engine's
  int TimeIntervalMs = 1000;    // pause between two sequence steps
  std::string PrevMachineID;    // the drive address before Broadcast was ticked
  bool CommonParamEdit = false; // the parameter window edits a common parameter
  QString ParamMinText;
  QString ParamMaxText;
  QString ParamValueText;
  QString CurrentCode;
  int CommonParamRow = 0;
  QString FunctionTableFile;
  QString StoredDecimalSeparator;
  int SeriesRow = 0;

  // ---- non-visual components ---------------------------------------------
  TComm *Comm1 = nullptr;
  TPortKeeper *PortKeeper = nullptr; // reopens Comm1 after a hang-up or failed open
  QTimer *UpcSend = nullptr;         // the engine's timer
  // The function table owns the table store's connection and its one shared
  // query; the settings tables reach them under the design's names.
  FunctionTable *Functions = nullptr;
  TTableConnection *ADOConnection1 = nullptr;
  TTableQuery *ADOQuery1 = nullptr;
  TTableModel *DataSource1 = nullptr;
  // Read all, write all and the parameter window's read and modify.
  ParameterRuns *Runs = nullptr;
  PeriodScan *Scan = nullptr;              // the period scan's addresses, period and run
  DriveControl *Control = nullptr;         // the control commands to the drive
  UserCommand *OwnCommand = nullptr;       // the user's own command
  DriveStatusModel *DriveStatus = nullptr; // the drives' status as their replies tell it
  StatusFreshness *Freshness = nullptr;    // whether the status shown is live

  // ---- controls -------------------------------------------------------------
  // Tool bar
  QToolBar *ToolBar1 = nullptr;
  QToolButton *UProtocol = nullptr;
  QToolButton *UmotorScan = nullptr;
  QToolButton *UdefRun = nullptr;
  QToolButton *UdefStop = nullptr;
  QToolButton *UTimeineterval = nullptr;
  QToolButton *Utimeout = nullptr;
  QToolButton *UEnOrCn = nullptr;
  QLineEdit *URepeatTimes = nullptr;
  QCheckBox *UErrorCheck = nullptr;
  QCheckBox *UTimeoutCheck = nullptr;
  QCheckBox *UAddChecksum = nullptr;

  // Main menu
  QAction *Import = nullptr;
  QAction *Export1 = nullptr;
  QAction *ImportFunctions1 = nullptr;
  QAction *ExportFunctions1 = nullptr;
  QAction *Exit2 = nullptr;
  QAction *CheckSum1 = nullptr;
  QAction *Trend1 = nullptr;      // the trend window of the scanned drives
  QAction *FindDrives1 = nullptr; // "Find Drives…": drives at unknown settings
  QAction *DravoHelp1 = nullptr;
  QAction *Version101 = nullptr;
  QAction *About1 = nullptr; // the version and the folders in use

  QTabWidget *PageControl1 = nullptr;
  QWidget *TabSheet1 = nullptr;
  QWidget *TabSheet2 = nullptr;
  QWidget *TabSheet3 = nullptr;

  // Tab 0 "VOSSEK COM": Status
  QComboBox *DriveSeries = nullptr;
  TShape *UrunShape = nullptr;
  TShape *UstopShape = nullptr;
  TShape *UfwdShape = nullptr;
  TShape *UrevShape = nullptr;
  TShape *UjogShape = nullptr;
  TShape *UfaultShape = nullptr;
  TShape *UcomShape = nullptr;
  // Motor Status
  QLineEdit *UoutFreq = nullptr;
  QLineEdit *UdcVoltage = nullptr;
  QLineEdit *UoutVoltage = nullptr;
  QLineEdit *UoutSpeed = nullptr;
  QLineEdit *UoutCurrent = nullptr;
  QLineEdit *machinestate = nullptr;
  QLabel *Label16 = nullptr; // "Output Speed"
  QLabel *Label20 = nullptr; // its unit
  // Common Paras
  QComboBox *MachineID = nullptr;
  TClickEdit *Edit9 = nullptr;
  TClickEdit *Edit10 = nullptr;
  TClickEdit *Edit11 = nullptr;
  TClickEdit *Edit12 = nullptr;
  TClickEdit *Edit13 = nullptr;
  TClickEdit *Edit14 = nullptr;
  // Com Command
  QPushButton *UFwdStart = nullptr;
  QPushButton *URevStart = nullptr;
  QPushButton *UDecStop = nullptr;
  QPushButton *UFreeStop = nullptr;
  QPushButton *UStart = nullptr;
  QPushButton *UReset = nullptr;
  QPushButton *UFwdJog = nullptr;
  QPushButton *URevJog = nullptr;
  QCheckBox *CheckBox1 = nullptr; // "Broadcast"
  // User's Command
  QComboBox *UdefineMachine = nullptr;
  QComboBox *RandW = nullptr;
  QLineEdit *UdefineAddr = nullptr;
  QLabel *LengthOrData = nullptr;
  QLineEdit *Edit7 = nullptr;
  QLabel *Label44 = nullptr;
  QPushButton *UserDefineSend = nullptr;
  // Period Scan
  QRadioButton *SeriesType = nullptr;
  QRadioButton *ArbitraryType = nullptr;
  QLineEdit *SeriesStart = nullptr;
  QLineEdit *SeriesStop = nullptr;
  QLineEdit *ArbitraryNum = nullptr;
  QLineEdit *ScanPeriod = nullptr;
  QLabel *ScanPeriodRange = nullptr; // the periods accepted, under the box
  QPushButton *UPeriodScan = nullptr;

  // Tab 1 "VOSSEK R&W"
  QTableView *DBGrid1 = nullptr;
  QCheckBox *CheckBox2 = nullptr;
  QPushButton *ReadAll = nullptr;
  QPushButton *WriteAll = nullptr;
  QLabel *ReadWriteProgress = nullptr; // how far read all or write all has come
  // Beside the delivered controls: write all reads back what it wrote, kept
  // in preferences.ini (off as delivered); the comparison window.
  QCheckBox *VerifyWriteAll = nullptr;
  QPushButton *CompareParameters = nullptr;

  // Tab 2 "User's Define"
  // The command list: 6 columns, 36 rows at start. Row 0 is the title row
  // ("Select", "Function", ...; not selectable, not editable, drawn like a
  // header) and the table's own headers are hidden, so grid row r is command
  // row r (1 to rowCount() - 1). Every cell of the start rows holds an item;
  // rows added later need their items made.
  QTableWidget *StringGrid1 = nullptr;
  QPushButton *Ustradd = nullptr;
  QPushButton *ustrdel = nullptr;
  QPushButton *ustrinsert = nullptr;
  TRadioGroup *UMODE = nullptr;
  TRadioGroup *RadioGroup1 = nullptr;
  QCheckBox *SelectAll = nullptr;

  // History and status bar
  QLabel *Label1 = nullptr;
  QTextEdit *SendRevHistory = nullptr;
  QMenu *PopupMenu1 = nullptr;
  QAction *Selectall1 = nullptr;
  QAction *clear1 = nullptr;
  QAction *copy1 = nullptr;
  QAction *OpenLogFolder1 = nullptr;    // the traffic log's folder in the file manager
  QSplitter *HistorySplitter = nullptr; // tabs above, history below
  TStatusBar *StatusBar1 = nullptr;

  // ---- start-up and main window (app/MainWindow.cpp) ----------------------
  void FormCreate();
  void FormActivate();
  void PageControl1Change();
  void Exit2Click();
  void StopTrafficBeforeClose();
  void DravoHelp1Click();
  void CheckSum1Click();
  // The pages of PageControl1, in the design's order.
  enum Page { ControlPage = 0, FunctionsPage = 1, SequencePage = 2 };
  int ActiveTab() const;
  bool SequenceShown() const { return ActiveTab() == SequencePage; }
  QString MachineIDText() const;

  // ---- the exchange engine's work, under the window's names ----------------
  void SendFrame(const std::string &body) { Engine->SendFrame(body); }
  bool IsRtuMode() const { return Engine->IsRtuMode(); }
  void UpcSendTimer() { Engine->Tick(); }
  void Comm1ReceiveData(const char *buffer, unsigned length) { Engine->ReceiveData(buffer, length); }
  void WaitHandler() { Engine->WaitHandler(); }
  void AwaitQuietLine() { Engine->AwaitQuietLine(); }
  // Exchanges follow each other as fast as the drives answer (replies
  // handled as soon as complete, a run going): what only shows them is shown
  // a few times a second rather than after each.
  bool ExchangesAtLineRate() const;

  // ---- history (app/History.cpp) -----------------------------------------
  void LogRequest(const QString &line); // a new red line, the oldest dropped past 100
  void ColorHistoryLine(int line, int color);
  int HistoryLineCount() const;
  QString HistoryLine(int line) const;
  void AppendHistoryLine(const QString &text, int color);
  void CompleteLastHistoryLine(const QString &suffix, bool black);
  // The pane's lines of an exchange that ended.
  void ShowEndedExchange(const ExchangeRecord &record);
  void DeleteFirstHistoryLine();
  // Puts the lines that wait into the pane; while replies are handled as
  // soon as they are complete they wait up to HistoryTimer's interval.
  void ShowWaitingHistory(bool keepLast = false);
  // The batch HistoryTimer shows: a last line that awaits its reply may wait
  // for the next batch, to go in whole.
  void ShowHistoryBatch();
  PendingHistory HistoryWaiting;
  QTimer *HistoryTimer = nullptr;
  // The record counters are shown with the waiting lines.
  void RecordCountersChanged();
  bool RecordCountersWaiting = false;
  void Selectall1Click();
  void clear1Click();
  void copy1Click();
  void ShowRecordCounters();

  // ---- outcomes of exchanges (app/ExchangeOutcomes.cpp) --------------------
  void SetLamps(int run, int stop, int fwd, int rev, int jog, int fault, int com);
  void ShowAcceptedReply();
  void DispatchReply(ReplyConsumer consumer);
  void ShowRejectedReply(const QString &replyText, bool sequenceStep);
  void ShowMissingReply(bool sequenceStep);
  // Tells the engine the drive address shown (also when it was set quietly).
  void TellMachineID();

  // ---- steps the engine's tick calls ---------------------------------------
  void StopSequence() override { UdefStopClick(); }
  // Read all's and write all's are the parameter runs' (app/params/ReadWriteAll.cpp).
  int ParameterRecordCount() const override;

  // ---- port configuration (app/PortConfiguration.cpp) --------------------
  void ApplyPortSettings();
  // Status bar panel 0: the settings applied last and how the port stands.
  void ShowPortState();
  QString ProtocolText; // the settings part of panel 0
  // Lets go of the port for another user of the line (the search for
  // drives): the period scan pauses and the port is closed and not tried
  // again. True when the window held the port (open, or being tried).
  bool YieldPort();
  // Takes the port back after YieldPort, with the settings applied last.
  void ReclaimPort();

  // ---- control commands and broadcast (app/drive/ControlCommands.cpp) ----
  void UFwdStartClick();
  void URevStartClick();
  void UDecStopClick();
  void UFreeStopClick();
  void UStartClick();
  void UResetClick();
  void UFwdJogMouseDown();
  void UFwdJogMouseUp();
  void URevJogMouseDown();
  void URevJogMouseUp();
  void ShowControlLamps();
  void MachineIDExit();
  void MachineIDChange();
  void CheckBox1Click();
  void IssueControlCommand(int controlType);

  // ---- drive status (app/drive/DriveStatus.cpp) --------------------------
  // The status reply the engine holds, read as if it had just come.
  void ShowDriveStatus();
  void ShowDecodedStatus(const DriveStatusTexts &status);
  bool IsShownDrive(int address) const; // the drive whose address MachineID shows

  // ---- common parameters (app/drive/CommonParameters.cpp) ----------------
  void OpenCommonParameter(int record);
  void Edit9Click();
  void Edit10Click();
  void Edit11Click();
  void Edit12Click();
  void Edit13Click();
  void Edit14Click();
  // Each box's tooltip names the function code it stands for.
  void ShowCommonParameterCodes();
  // Marks a box's value as read from the drive, or as the stored one (grey,
  // italic) that nothing read since start.
  void MarkCommonValue(TClickEdit *box, bool fromDrive);
  // The common-parameter box that shows a function code ("F113"), or none.
  TClickEdit *CommonBoxOfCode(const QString &code) const;

  // ---- user's command (app/drive/UserCommand.cpp) ------------------------
  void UserDefineSendClick();
  void RandWSelect();
  void UdefineMachineExit();
  bool UdefineAddrExit(); // false when the field is refused
  bool Edit7Exit();       // false when the field is refused

  // ---- period scan (app/drive/PeriodScan.cpp) ----------------------------
  void UPeriodScanClick();
  bool ScanPeriodExit();      // false when the period is refused
  void ShowScanPeriodRange(); // as the line option stands
  void SeriesStartExit();
  void SeriesStopExit();
  void ArbitraryNumExit();
  void SeriesScanStep() override;
  void ArbitraryScanStep() override;
  // false while the drive address box holds no number (said once).
  bool ScanAddressReady() override;
  bool ScanAsksSeveralDrives() const override;
  void UmotorScanClick();
  bool ScanFieldsHoldAddresses(); // refuses (with a message) a scan of nothing

  // ---- function table (app/params/) ---------------------------------------
  void DriveSeriesExit();
  void DriveSeriesChange();
  void PrepareParameterWindow();
  // Where the parameter window's read and modify put their value: the
  // common parameter's record on the control tab, else the grid's current one.
  int ParameterWindowRecord() const;
  void ReadAllClick();
  void WriteAllClick();
  void ReadAllStep() override;
  bool WriteAllStep() override; // false when write all ended because a value was empty
  void ImportFunctions1Click();
  void ExportFunctions1Click();
  bool IsRm40Selected() const;
  void DBGrid1CellClick(int column);
  void DBGrid1DblClick(int column);
  void WheelStep(int delta); // one record per wheel turn
  void CompareParametersClick();
  void WireParameterSets(); // the comparison and the verification option
  void WireParameterRuns(); // the runs, and what the window shows of them

  // ---- user's define (app/sequences/) ------------------------------------
  SequenceRun *Sequence = nullptr;
  void WireSequenceRun();
  void UdefRunClick();
  void UdefStopClick();
  void SequenceStep() override;
  void ImportClick();
  void Export1Click();
  bool ExportGridsToWorkbook(const QList<QTableWidget *> &grids);
  // Command grid (app/sequences/CommandGrid.cpp)
  // A cell was selected; a drag over the Select column moves the selection
  // without ticking the marks it passes (toggleMark false).
  void StringGrid1Click(bool toggleMark = true);
  bool StringGrid1KeyPress(int column, QChar key); // false: the key is dropped
  void UMODEClick();
  void SelectAllClick();
  void UstraddClick();
  void ustrdelClick();
  void ustrinsertClick();
  QString GridText(int row, int column) const;
  void SetGridText(int row, int column, const QString &text);
  // Selects a cell from code, without the click handling of the grid.
  void SelectGridCell(int row, int column);
  void WireCommandGrid();
  bool StringGrid1Editing = true; // the selected cell may be edited

  // ---- settings (app/settings/) -------------------------------------------
  // The settings are loaded in three steps around the port configuration at
  // the first activation: line settings and timing, drive address and common
  // parameters, command list. A table that cannot be read leaves the
  // controls at their initial values and says so once.
  void LoadSettings();
  void LoadProtocolSettings();
  void LoadDriveSettings();
  void LoadCommandList();
  QStringList SettingsLoadProblems; // tables that could not be read at start
  // The close query: saves, asks, and on a save that failed lets the user
  // try again, close without saving, or keep the window (false).
  bool FormCloseQuery();
  // Saves those of "usercmd.dbf", "com_pro.dbf", "dspara.dbf" and
  // "preferences.ini" that `files` names; "dspara.dbf" only after OK to
  // "Do you want to save changes?" when `askAboutDrive`. Returns the files
  // that could not be saved, and why in `reasons`.
  QStringList SaveSettings(const QStringList &files, bool askAboutDrive, QStringList &reasons);
  // The line options into preferences.ini ("OK" in "ProtocolSettings", the
  // close query); what failed, if anything.
  QString SaveLinePreferences();
  // Ends the program as "E&xit" does, without a question: the settings are
  // saved as the answer Cancel saves them (a logout, a shutdown).
  void EndWithoutAsking();
  bool EndingWithoutQuestions = false;
  void UProtocolClick();
  void UTimeinetervalClick();
  void UtimeoutClick();

signals:
  // The text the history pane added to its last line; accepted when it
  // turned black.
  void LineCompleted(const QString &suffix, bool accepted);
  // The history pane has taken the lines that waited: what follows the
  // pane at its pace shows what changed meanwhile.
  void WaitingHistoryShown();

protected:
  bool event(QEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

private:
  void BuildLayout(); // app/MainWindowLayout.cpp
  // Each subsystem connects its controls to its handlers.
  void WireCommunication(); // app/
  void WireDrive();         // app/drive/
  void WireParams();        // app/params/
  void WireSequences();     // app/sequences/
  void WireSettings();      // app/settings/
};

// Keeps the newest line of the history pane in view as lines are added and
// completed, unless the user has scrolled up to read older ones.
void FollowNewestHistoryLine(QTextEdit *pane);

class TProtocolSet;
class TUmotorPara;
class TInputBox;

// The windows created at start, in this order, living until the program ends.
extern TForm1 *Form1;
extern TProtocolSet *ProtocolSet;
extern TUmotorPara *UmotorPara;
extern TInputBox *InputBox;

// Creates the four windows in their start-up order (only the main window is
// shown by the caller) and destroys them again.
void CreateApplicationWindows();
void DestroyApplicationWindows();
