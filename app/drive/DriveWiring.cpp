// Connects the controls of the drive panels to their handlers.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/drive/InputFilters.h"
#include "app/drive/StatusDisplayPacing.h"
#include "app/drive/StatusFreshness.h"
#include "app/drive/TUmotorPara.h"
#include "session/DriveControl.h"
#include "session/DriveStatusModel.h"
#include "session/PeriodScan.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

void TForm1::WireDrive() {
  ShowCommonParameterCodes();
  using InputFilters::AllowOnly;
  using InputFilters::OnFieldExit;

  // Com Command
  connect(Control, &DriveControl::Refused, this,
          [](const QString &message) { Dialogs::ShowMessage(message); });
  connect(UFwdStart, &QPushButton::clicked, this, [this] { UFwdStartClick(); });
  connect(URevStart, &QPushButton::clicked, this, [this] { URevStartClick(); });
  connect(UDecStop, &QPushButton::clicked, this, [this] { UDecStopClick(); });
  connect(UFreeStop, &QPushButton::clicked, this, [this] { UFreeStopClick(); });
  connect(UStart, &QPushButton::clicked, this, [this] { UStartClick(); });
  connect(UReset, &QPushButton::clicked, this, [this] { UResetClick(); });
  // The jog runs while a mouse button (any of them) holds the button down.
  InputFilters::OnMouseButtons(
      UFwdJog, [this] { UFwdJogMouseDown(); }, [this] { UFwdJogMouseUp(); });
  InputFilters::OnMouseButtons(
      URevJog, [this] { URevJogMouseDown(); }, [this] { URevJogMouseUp(); });
  // RUN and STOP of the tool bar belong to the sequence on its own tab and
  // start or stop the drive everywhere else.
  connect(UdefRun, &QToolButton::clicked, this, [this] {
    if (SequenceShown())
      UdefRunClick();
    else
      UStartClick();
  });
  connect(UdefStop, &QToolButton::clicked, this, [this] {
    if (SequenceShown())
      UdefStopClick();
    else
      UDecStopClick();
  });
  AllowOnly(MachineID, "0-9");
  OnFieldExit(MachineID, [this] { MachineIDExit(); });
  connect(MachineID, &QComboBox::currentTextChanged, this, [this] { MachineIDChange(); });
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });

  // User's Command
  AllowOnly(UdefineMachine, "0-9");
  OnFieldExit(UdefineMachine, [this] { UdefineMachineExit(); });
  connect(RandW, &QComboBox::currentIndexChanged, this, [this] { RandWSelect(); });
  AllowOnly(UdefineAddr, "0-9A-F");
  OnFieldExit(UdefineAddr, [this] { UdefineAddrExit(); });
  AllowOnly(Edit7, "0-9A-F");
  OnFieldExit(Edit7, [this] { Edit7Exit(); });
  connect(UserDefineSend, &QPushButton::clicked, this, [this] {
    if (!InputFilters::RunPendingFieldChecks({UdefineAddr, Edit7, UdefineMachine}))
      UserDefineSendClick();
  });

  // Period Scan
  connect(UPeriodScan, &QPushButton::clicked, this, [this] {
    if (!InputFilters::RunPendingFieldChecks({ScanPeriod, SeriesStart, SeriesStop, ArbitraryNum}))
      UPeriodScanClick();
  });
  AllowOnly(ScanPeriod, "0-9");
  OnFieldExit(ScanPeriod, [this] { ScanPeriodExit(); });
  AllowOnly(SeriesStart, "0-9");
  OnFieldExit(SeriesStart, [this] { SeriesStartExit(); });
  AllowOnly(SeriesStop, "0-9");
  OnFieldExit(SeriesStop, [this] { SeriesStopExit(); });
  AllowOnly(ArbitraryNum, "0-9,");
  OnFieldExit(ArbitraryNum, [this] { ArbitraryNumExit(); });
  connect(UmotorScan, &QToolButton::clicked, this, [this] { UmotorScanClick(); });
  connect(Scan, &PeriodScan::RequestDue, Engine, &TExchangeEngine::SendFrame);
  connect(Scan, &PeriodScan::AddressRefused, this,
          [](const QString &message) { Dialogs::ShowError(message); });

  // Drive status: read while a drive series is chosen, shown for the drive
  // in MachineID and in every drive's row of the motor status table.
  const auto readStatus = [this] { DriveStatus->SetReading(DriveSeries->currentIndex() >= 0); };
  connect(DriveSeries, &QComboBox::currentIndexChanged, this, readStatus);
  readStatus();
  // Ten times a second, as the history, while exchanges follow each other
  // at line rate.
  auto *shownStatus = new StatusDisplayPacing([this] { return ExchangesAtLineRate(); },
                                              [this](int address) {
                                                const DriveStatusReading *status =
                                                    DriveStatus->Latest(address);
                                                if (!status)
                                                  return;
                                                const DriveStatusTexts texts = status->Texts();
                                                ShowDecodedStatus(texts);
                                                if (UmotorPara)
                                                  UmotorPara->ShowDriveStatus(texts);
                                              },
                                              100, this);
  connect(DriveStatus, &DriveStatusModel::StatusDecoded, shownStatus,
          [shownStatus](const DriveStatusReading &status) { shownStatus->Decoded(status.values.address); });
  Freshness = new StatusFreshness(*this);
}
