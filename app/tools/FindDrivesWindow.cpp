#include "app/tools/FindDrivesWindow.h"

#include "serial/TcpSerialServer.h"
#include "settings/Preferences.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const QString AllowanceKey = QStringLiteral("FindDrives/AllowanceMs");
const QString FromKey = QStringLiteral("FindDrives/From");
const QString ToKey = QStringLiteral("FindDrives/To");
const QString FirstKey = QStringLiteral("FindDrives/StopAtFirst");

const QStringList Columns = {"Address", "Mode", "Baud", "Parity", "Data Bits", "Stop Bits", "Echo", "Status"};

QSpinBox *AddressBox(int value, QWidget *parent) {
  auto *box = new QSpinBox(parent);
  box->setRange(1, 247);
  box->setValue(value);
  return box;
}

QCheckBox *ChoiceBox(const QString &caption, QHBoxLayout *row, QWidget *parent) {
  auto *box = new QCheckBox(caption, parent);
  box->setChecked(true);
  row->addWidget(box);
  return box;
}

QString MinutesAndSeconds(qint64 ms) {
  return QStringLiteral("%1:%2").arg(ms / 60000).arg((ms / 1000) % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

FindDrivesWindow::FindDrivesWindow(const QString &dataFolder, QWidget *parent)
    : QDialog(parent), dataFolder_(dataFolder) {
  setWindowTitle("Find Drives");
  const Preferences preferences(dataFolder_);

  Port = new QLineEdit(this);
  FromAddress = AddressBox(preferences.Int(FromKey, 1, 1, 247), this);
  ToAddress = AddressBox(preferences.Int(ToKey, 247, 1, 247), this);

  auto *settings = new QGroupBox("Settings to try", this);
  auto *settingsGrid = new QGridLayout(settings);
  auto *modeRow = new QHBoxLayout;
  Ascii = ChoiceBox("ASCII", modeRow, settings);
  Rtu = ChoiceBox("RTU", modeRow, settings);
  Tcp = ChoiceBox("TCP", modeRow, settings);
  Tcp->setToolTip("Modbus TCP: a gateway or an Ethernet drive at a tcp: port");
  modeRow->addStretch();
  auto *baudRow = new QHBoxLayout;
  for (std::uint32_t rate : DiscoveryPlan::BaudRates)
    Bauds << ChoiceBox(QString::number(rate), baudRow, settings);
  baudRow->addStretch();
  auto *parityRow = new QHBoxLayout;
  for (const char *letter : {"N", "E", "O"})
    Parities << ChoiceBox(letter, parityRow, settings);
  parityRow->addStretch();
  settingsGrid->addWidget(new QLabel("Mode", settings), 0, 0);
  settingsGrid->addLayout(modeRow, 0, 1);
  settingsGrid->addWidget(new QLabel("BaudRate", settings), 1, 0);
  settingsGrid->addLayout(baudRow, 1, 1);
  settingsGrid->addWidget(new QLabel("Parity Check", settings), 2, 0);
  settingsGrid->addLayout(parityRow, 2, 1);
  settingsGrid->addWidget(new QLabel("Data bits follow the mode (7 ASCII, 8 RTU); one stop bit. Over a tcp: "
                                     "port the line is set on the server: unit ids only.",
                                     settings),
                          3, 0, 1, 2);

  StopAtFirst = new QCheckBox("Stop at the first drive", this);
  StopAtFirst->setChecked(preferences.Bool(FirstKey, false));
  StartButton = new QPushButton("Start", this);
  StopButton = new QPushButton("Stop", this);
  UseButton = new QPushButton("Use these settings", this);
  CloseButton = new QPushButton("Close", this);

  Progress = new QProgressBar(this);
  Position = new QLabel(this);
  Elapsed = new QLabel(this);
  Outcome = new QLabel(this);
  Outcome->setWordWrap(true);

  DriveTable = new QTableWidget(0, static_cast<int>(Columns.size()), this);
  DriveTable->setHorizontalHeaderLabels(Columns);
  DriveTable->verticalHeader()->setVisible(false);
  DriveTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  DriveTable->setSelectionMode(QAbstractItemView::SingleSelection);
  DriveTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DriveTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  DriveTable->horizontalHeader()->setStretchLastSection(true);
  Suspects = new QListWidget(this);

  auto *range = new QHBoxLayout;
  range->addWidget(new QLabel("Com Port", this));
  range->addWidget(Port, 1);
  range->addSpacing(12);
  range->addWidget(new QLabel("Addresses", this));
  range->addWidget(FromAddress);
  range->addWidget(new QLabel("to", this));
  range->addWidget(ToAddress);
  auto *run = new QHBoxLayout;
  run->addWidget(StopAtFirst);
  run->addStretch();
  run->addWidget(StartButton);
  run->addWidget(StopButton);
  auto *state = new QHBoxLayout;
  state->addWidget(Position, 1);
  state->addWidget(Elapsed);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(UseButton);
  buttons->addWidget(CloseButton);

  auto *layout = new QVBoxLayout(this);
  layout->addLayout(range);
  layout->addWidget(settings);
  layout->addLayout(run);
  layout->addWidget(Progress);
  layout->addLayout(state);
  layout->addWidget(Outcome);
  layout->addWidget(new QLabel("Drives that answered", this));
  layout->addWidget(DriveTable, 4);
  layout->addWidget(
      new QLabel("Answers that fail their checks (a device at another setting may be here)", this));
  layout->addWidget(Suspects, 1);
  layout->addLayout(buttons);
  resize(660, 640);

  clockTick_.setInterval(200);
  connect(&clockTick_, &QTimer::timeout, this, &FindDrivesWindow::ShowElapsed);
  connect(StartButton, &QPushButton::clicked, this, &FindDrivesWindow::Start);
  connect(StopButton, &QPushButton::clicked, &discovery_, &DriveDiscovery::Stop);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
  connect(UseButton, &QPushButton::clicked, this, [this] {
    const int row = DriveTable->currentRow();
    if (row >= 0 && row < found_.size())
      emit UseSettings(found_[row]);
  });
  connect(DriveTable, &QTableWidget::itemSelectionChanged, this, &FindDrivesWindow::ShowButtons);
  connect(&discovery_, &DriveDiscovery::DriveFound, this, &FindDrivesWindow::AddDrive);
  connect(&discovery_, &DriveDiscovery::SuspectAnswer, this, &FindDrivesWindow::AddSuspect);
  connect(&discovery_, &DriveDiscovery::LateAnswer, this, &FindDrivesWindow::AddLate);
  connect(&discovery_, &DriveDiscovery::LineBusy, this, &FindDrivesWindow::AddBusy);
  connect(Port, &QLineEdit::textChanged, this, &FindDrivesWindow::ShowChoices);
  connect(&discovery_, &DriveDiscovery::Progress, this, &FindDrivesWindow::ShowProgress);
  connect(&discovery_, &DriveDiscovery::Finished, this, &FindDrivesWindow::Ended);
  ShowButtons();
  ShowChoices();
}

void FindDrivesWindow::SetPort(const QString &port) {
  if (!discovery_.Running())
    Port->setText(port);
}

DiscoveryPlan::TrialChoice FindDrivesWindow::Choice() const {
  DiscoveryPlan::TrialChoice choice;
  choice.ascii = Ascii->isChecked();
  choice.rtu = Rtu->isChecked();
  choice.modbusTcp = Tcp->isChecked();
  choice.bauds.clear();
  for (QCheckBox *box : Bauds)
    if (box->isChecked())
      choice.bauds.push_back(box->text().toUInt());
  choice.parities.clear();
  for (QCheckBox *box : Parities) {
    TParity parity{};
    if (box->isChecked() && DiscoveryPlan::ParityFromLetter(box->text(), parity))
      choice.parities.push_back(parity);
  }
  return choice;
}

void FindDrivesWindow::Start() {
  if (discovery_.Running())
    return;
  Preferences preferences(dataFolder_);
  DiscoverySearch search;
  search.port = Port->text().trimmed();
  search.from = std::min(FromAddress->value(), ToAddress->value());
  search.to = std::max(FromAddress->value(), ToAddress->value());
  search.trials = DiscoveryPlan::TrialsFor(search.port, Choice());
  search.stopAtFirst = StopAtFirst->isChecked();
  search.allowanceMs = preferences.Int(AllowanceKey, DiscoveryPlan::DeliveredAllowanceMs, 0, 1000);
  if (search.trials.empty()) {
    Outcome->setText("Choose at least one mode, baud rate and parity.");
    return;
  }
  // A damaged file is left as it is: the choices are only a convenience.
  if (!preferences.Damaged()) {
    preferences.Set(FromKey, search.from);
    preferences.Set(ToKey, search.to);
    preferences.Set(FirstKey, search.stopAtFirst);
    preferences.Save();
  }

  found_.clear();
  DriveTable->setRowCount(0);
  Suspects->clear();
  searchFrom_ = search.from;
  addressesPerTrial_ = search.to - search.from + 1;
  Progress->setRange(0, static_cast<int>(search.trials.size()) * addressesPerTrial_);
  Progress->setValue(0);
  Outcome->setText(
      QStringLiteral("Listening %1 ms and four characters at each address.").arg(search.allowanceMs));
  emit PortNeeded();
  clockTick_.start();
  discovery_.Start(search);
  ShowButtons();
}

void FindDrivesWindow::ShowProgress(int trialsDone, int trialsTotal, int address,
                                    const DiscoveryPlan::LineTrial &line) {
  Progress->setValue(trialsDone * addressesPerTrial_ + address - searchFrom_);
  Position->setText(QStringLiteral("%1, address %2 (setting %3 of %4)")
                        .arg(DiscoveryPlan::TrialText(line))
                        .arg(address)
                        .arg(trialsDone + 1)
                        .arg(trialsTotal));
}

void FindDrivesWindow::ShowElapsed() {
  Elapsed->setText("Elapsed " + MinutesAndSeconds(discovery_.ElapsedMs()));
}

void FindDrivesWindow::AddDrive(const FoundDrive &drive) {
  found_ << drive;
  const int row = DriveTable->rowCount();
  DriveTable->insertRow(row);
  // Over TCP the line's settings are the server's: not known here.
  const bool ours = !drive.line.overTcp;
  const QStringList cells = {
      QString::number(drive.address),
      DiscoveryPlan::ModeName(drive.line),
      ours ? QString::number(drive.line.baud) : QString(),
      ours ? DiscoveryPlan::ParityLetter(drive.line.parity) : QString(),
      ours ? QString::number(drive.line.DataBitCount()) : QString(),
      ours ? QString::number(drive.line.StopBitCount()) : QString(),
      drive.echo ? QStringLiteral("yes") : QStringLiteral("no"),
      drive.status.frequency.empty()
          ? drive.state
          : QStringLiteral("%1, %2 Hz").arg(drive.state, QString::fromStdString(drive.status.frequency))};
  for (int column = 0; column < cells.size(); ++column)
    DriveTable->setItem(row, column, new QTableWidgetItem(cells[column]));
  if (DriveTable->currentRow() < 0)
    DriveTable->selectRow(row);
}

void FindDrivesWindow::AddSuspect(const SuspectReply &reply) {
  Suspects->addItem(QStringLiteral("Address %1 at %2: %3 (%4). A device at another setting may be here.")
                        .arg(reply.address)
                        .arg(DiscoveryPlan::TrialText(reply.line), reply.why, reply.bytes.trimmed()));
}

void FindDrivesWindow::AddLate(const LateReply &late) {
  Suspects->addItem(QStringLiteral("Address %1 at %2 answered late, after %3 ms: search again with %4 ms "
                                   "(FindDrives/AllowanceMs in preferences.ini).")
                        .arg(late.address)
                        .arg(DiscoveryPlan::TrialText(late.line))
                        .arg(late.answerMs)
                        .arg(late.allowanceMs));
}

void FindDrivesWindow::AddBusy(int address, const DiscoveryPlan::LineTrial &line) {
  Suspects->addItem(QStringLiteral("The line is busy: another master? (at %1, address %2, bytes kept coming)")
                        .arg(DiscoveryPlan::TrialText(line))
                        .arg(address));
}

void FindDrivesWindow::Ended(DiscoveryEnd end, const QString &message) {
  clockTick_.stop();
  ShowElapsed();
  emit PortReleased();
  switch (end) {
  case DiscoveryEnd::Searched:
    Progress->setValue(Progress->maximum());
    Outcome->setText(QStringLiteral("Search complete; drives found: %1.").arg(found_.size()));
    break;
  case DiscoveryEnd::FirstFound:
    Outcome->setText("Stopped at the first drive.");
    break;
  case DiscoveryEnd::Stopped:
    Outcome->setText(QStringLiteral("Stopped; drives found: %1.").arg(found_.size()));
    break;
  case DiscoveryEnd::PortFailed:
    Outcome->setText("The port did not open: " + message);
    break;
  case DiscoveryEnd::LineLost:
    Outcome->setText(QStringLiteral("Search ended: %1; drives found: %2.").arg(message).arg(found_.size()));
    break;
  }
  ShowButtons();
}

void FindDrivesWindow::ShowButtons() {
  const bool running = discovery_.Running();
  StartButton->setEnabled(!running);
  StopButton->setEnabled(running);
  // The settings go to the port only once the search has let go of it.
  UseButton->setEnabled(!running && DriveTable->currentRow() >= 0);
  for (QWidget *choice : std::initializer_list<QWidget *>{Port, FromAddress, ToAddress, StopAtFirst})
    choice->setEnabled(!running);
}

void FindDrivesWindow::ShowChoices() {
  const bool overTcp = TcpSerialServer::IsTcpName(Port->text().trimmed());
  Tcp->setEnabled(overTcp);
  for (QCheckBox *box : Bauds + Parities)
    box->setEnabled(!overTcp);
}

void FindDrivesWindow::closeEvent(QCloseEvent *event) {
  // The port goes back to the main window with the window out of sight.
  discovery_.Stop();
  QDialog::closeEvent(event);
}
