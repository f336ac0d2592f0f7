#pragma once

#include "drive/ScanList.h"

#include <QObject>
#include <QString>
#include <string>

class TExchangeEngine;

// The period scan: the drives it polls (a range walked one address per step,
// or a list), its period, and whether it runs. The engine's tick decides when
// a step is due from the running flag and the period in its state, which
// only this object sets, and calls the step of the kind chosen; each step
// asks for the status block of the next drive.
class PeriodScan : public QObject {
  Q_OBJECT
public:
  explicit PeriodScan(TExchangeEngine &engine, QObject *parent = nullptr);

  // A range or a list; the engine is told which step to call.
  void SetKind(bool series, bool arbitrary);
  // Rebuilds the list from the text of its field unless the text is empty.
  ScanList::ListCheck TakeList(const std::string &text);
  void SetPeriodMs(int periodMs);
  int PeriodMs() const;
  // Once replies end their exchange at their last byte a scan may follow
  // the line's own pace: 0 then means the next drive at once.
  int ShortestPeriodMs() const;

  // Starts from the first address of the range (taken at the first step) or
  // of the list as last taken.
  void Start(int seriesFrom, int seriesTo, int periodMs);
  void Pause();
  bool Running() const;

  // The engine's scan steps.
  void SeriesStep();
  void ArbitraryStep();
  // Every request reads the drive address box: while it holds no number the
  // scan waits, and says so once.
  bool AddressReady(const std::string &driveAddressText);
  bool AsksSeveralDrives() const;

signals:
  void RunningChanged(bool running);
  // The status request of the drive whose turn it is (hex text, address first).
  void RequestDue(const std::string &body);
  // The drive address box holds no number; told once until it does again.
  void AddressRefused(const QString &message);

private:
  void Request(int address);

  TExchangeEngine &engine_;
  ScanPosition position_;
  bool series_ = true;
  int seriesFrom_ = 0;
  int seriesTo_ = 0;
  bool addressRefused_ = false;
};
