// Connects the communication engine: the send timer, the serial port's
// received data, what the engine reports and is told, and the history pane's
// pop-up menu.
#include "app/MainWindow.h"

#include "app/RepaintPacing.h"
#include "log/HistoryText.h"
#include "portwatch/PortKeeper.h"
#include "serial/TComm.h"
#include "session/PeriodScan.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTimer>

bool TForm1::ExchangesAtLineRate() const {
  return Engine->CompleteOnReply() &&
         (State.ScanRunning || State.ReadAllActive || State.WriteAllActive || State.SequenceRunning);
}

void TForm1::WireCommunication() {
  Engine->SetPort(Comm1);
  Engine->SetSteps(this);
  Comm1->OnReceiveData = [this](TComm *, const char *buffer, std::uint16_t length) {
    Engine->ReceiveData(buffer, length);
  };
  UpcSend->start(State.TickMs);
  PortKeeper = new TPortKeeper(Comm1, this);
  connect(PortKeeper, &TPortKeeper::StateChanged, this, &TForm1::ShowPortState);

  // what the tick and the framing need to know of the window
  connect(MachineID, &QComboBox::currentTextChanged, this, [this] { TellMachineID(); });
  TellMachineID();
  const auto tellScanKind = [this] { Scan->SetKind(SeriesType->isChecked(), ArbitraryType->isChecked()); };
  connect(SeriesType, &QRadioButton::toggled, this, tellScanKind);
  connect(ArbitraryType, &QRadioButton::toggled, this, tellScanKind);
  tellScanKind();
  connect(UAddChecksum, &QCheckBox::toggled, Engine, &TExchangeEngine::SetAddChecksum);
  Engine->SetAddChecksum(UAddChecksum->isChecked());
  Engine->SetSequenceShown(SequenceShown());

  // what the engine reports
  connect(Engine->Journal, &ExchangeJournal::Started, this,
          [this](const ExchangeRecord &record) { LogRequest(HistoryText::RequestLine(record)); });
  connect(Engine->Journal, &ExchangeJournal::Ended, this, &TForm1::ShowEndedExchange);
  connect(Engine, &TExchangeEngine::CountersChanged, this, &TForm1::RecordCountersChanged);
  connect(Engine, &TExchangeEngine::ReplyAccepted, this, &TForm1::ShowAcceptedReply);
  connect(Engine, &TExchangeEngine::ReplyDispatched, this, &TForm1::DispatchReply);
  connect(Engine, &TExchangeEngine::ReplyRejected, this, &TForm1::ShowRejectedReply);
  connect(Engine, &TExchangeEngine::ReplyMissing, this, &TForm1::ShowMissingReply);
  // a line of its own, within the pane's bound as every line
  connect(Engine, &TExchangeEngine::EchoFound, this, &TForm1::ShowPortState);
  connect(Engine, &TExchangeEngine::EchoMissing, this, [this] {
    LogRequest(HistoryText::NoteLine(QString::fromStdString(LineEchoNote(Engine->Echo()))));
    ShowPortState();
  });
  connect(Engine, &TExchangeEngine::RepeatsFound, this, [this](int gapMs) {
    LogRequest(HistoryText::NoteLine(RepeatNote(gapMs)));
    ShowPortState();
  });
  connect(Engine, &TExchangeEngine::LateDriveNoted, this, [this](int address, int lateMs, int timeoutMs) {
    LogRequest(HistoryText::LateDriveLine(address, lateMs, timeoutMs));
  });
  FollowNewestHistoryLine(SendRevHistory);
  // A few times a second: quick enough to read as it happens.
  HistoryTimer = new QTimer(this);
  HistoryTimer->setSingleShot(true);
  HistoryTimer->setInterval(100);
  connect(HistoryTimer, &QTimer::timeout, this, &TForm1::ShowHistoryBatch);
  // Ten frames a second, as the history, while exchanges follow each other
  // at line rate; at once while the line is idle or paced by the tick.
  new RepaintPacer(
      this, [this] { return ExchangesAtLineRate(); }, 100);

  connect(Selectall1, &QAction::triggered, this, [this] { Selectall1Click(); });
  connect(clear1, &QAction::triggered, this, [this] { clear1Click(); });
  connect(copy1, &QAction::triggered, this, [this] { copy1Click(); });
}

void TForm1::TellMachineID() { Engine->SetMachineId(MachineID->currentText()); }
