#pragma once

#include "session/DriveDiscovery.h"

#include <QDialog>
#include <QList>
#include <QTimer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

// "Find Drives": drives whose address and line settings nobody wrote down.
// The user chooses the addresses and the settings to try and whether to stop
// at the first drive, starts, follows the progress and stops when he likes;
// each drive that answers is listed with its setting and status, and each
// answer that fails its checks is named, as a device at another setting may
// be there; so are a drive that answered late and a busy line. "Use these settings" hands the chosen drive on
// to the protocol settings and the drive address. The search itself is DriveDiscovery's.
class FindDrivesWindow : public QDialog {
  Q_OBJECT
public:
  // `dataFolder` holds preferences.ini: the drive's allowance and the
  // choices of the last search.
  FindDrivesWindow(const QString &dataFolder, QWidget *parent = nullptr);

  // The port searched, as the main window names its own.
  void SetPort(const QString &port);
  const DriveDiscovery &Discovery() const { return discovery_; }
  // The drives found by the last search, in the order they answered.
  const QList<FoundDrive> &Found() const { return found_; }

  QLineEdit *Port = nullptr;
  QSpinBox *FromAddress = nullptr;
  QSpinBox *ToAddress = nullptr;
  QCheckBox *Ascii = nullptr;
  QCheckBox *Rtu = nullptr;
  QCheckBox *Tcp = nullptr;    // Modbus TCP, over a "tcp:" port only
  QList<QCheckBox *> Bauds;    // "1200" to "115200"
  QList<QCheckBox *> Parities; // "N", "E", "O"
  QCheckBox *StopAtFirst = nullptr;
  QPushButton *StartButton = nullptr;
  QPushButton *StopButton = nullptr;
  QPushButton *UseButton = nullptr; // "Use these settings"
  QPushButton *CloseButton = nullptr;
  QProgressBar *Progress = nullptr;
  QLabel *Position = nullptr; // the setting and address being tried
  QLabel *Elapsed = nullptr;
  QLabel *Outcome = nullptr;          // how the last search ended
  QTableWidget *DriveTable = nullptr; // one row per drive found
  QListWidget *Suspects = nullptr;    // answers that fail their checks

signals:
  // The search is about to open the port: whoever holds it lets it go.
  void PortNeeded();
  // The search has closed the port again.
  void PortReleased();
  // "Use these settings" with the drive chosen in the list.
  void UseSettings(const FoundDrive &drive);

protected:
  void closeEvent(QCloseEvent *event) override;

private:
  void Start();
  void Ended(DiscoveryEnd end, const QString &message);
  void AddDrive(const FoundDrive &drive);
  void AddSuspect(const SuspectReply &reply);
  void AddLate(const LateReply &late);
  void AddBusy(int address, const DiscoveryPlan::LineTrial &line);
  // Over a "tcp:" port only the framing is chosen, not the line.
  void ShowChoices();
  void ShowProgress(int trialsDone, int trialsTotal, int address, const DiscoveryPlan::LineTrial &line);
  void ShowElapsed();
  void ShowButtons();
  DiscoveryPlan::TrialChoice Choice() const;

  QString dataFolder_;
  DriveDiscovery discovery_;
  QTimer clockTick_;
  QList<FoundDrive> found_;
  int searchFrom_ = 1;
  int addressesPerTrial_ = 1;
};
