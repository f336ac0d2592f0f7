#pragma once

#include "exchange/ExchangeRecord.h"

#include <QObject>
#include <QString>

class TExchangeEngine;

// What a run of the command list reads at each step and writes back: the
// list's cells (rows from 1; row 0 is the title) and the choices around it,
// as they stand at that moment.
class SequenceList {
public:
  virtual ~SequenceList() = default;
  virtual int RowCount() const = 0;
  virtual QString Cell(int row, int column) const = 0;
  virtual void SetCell(int row, int column, const QString &text) = 0;
  // The selection follows the run.
  virtual void SelectCell(int row, int column) = 0;

  virtual QString RepeatTimes() const = 0;
  virtual bool CommandMode() const = 0; // else Function mode
  virtual bool WriteMode() const = 0;   // Function mode: write, else read
  virtual QString DriveAddress() const = 0;
  virtual bool Rm40Selected() const = 0;
  virtual int StepPauseMs() const = 0; // pause between two steps
};

// The user's define sequence: RUN, STOP, the step the send timer asks for
// and each step's reply written into its row. The engine is told whether
// it runs, so that the tick asks for its steps.
class SequenceRun : public QObject {
  Q_OBJECT
public:
  SequenceRun(TExchangeEngine &engine, SequenceList &list, QObject *parent = nullptr);

  void Start();
  // At once, or once the reply on the line is in (the tick comes back here).
  void Stop();
  // One step, when the pause between steps has passed.
  void Step();
  bool Running() const;
  // The row the next step searches from (0 while no run is on).
  int NextRow() const { return row_; }

signals:
  void RunningChanged(bool running);
  // The run stopped for `message`, to be shown to the user.
  void Refused(const QString &message);

private:
  // Builds and sends the Function mode request of a row; false when the row
  // was refused (the run is then stopped and the reason told).
  bool SendFunctionRequest(int row);
  // The row whose request is on the line, or -1 when no run has sent.
  int StepRow() const;
  void ExchangeEnded(const ExchangeRecord &record);
  void StopWith(const QString &message);

  TExchangeEngine &engine_;
  SequenceList &list_;
  int round_ = 0;
  int row_ = 0;
};
