#pragma once

#include "params/PacedFollow.h"

#include <QObject>
#include <functional>

class QTableView;
class TTableModel;

// Ties the grid's current cell to the query's current record both ways: a
// click or a key that moves the grid's cell moves the query, and the query
// moved by anyone (the wheel, read all, write all, a reopen) moves the grid's
// cell and keeps that row scrolled into view. Home and End go to the first
// and the last record, as the grid has no other use for them.
class TGridCurrentRecord : public QObject {
  Q_OBJECT
public:
  TGridCurrentRecord(QTableView *grid, TTableModel *model);

  // While `pacing` says so, the grid follows the query at most once per
  // interval: a run at line rate moves the query hundreds of times a second,
  // and scrolling the grid each time costs more than the exchange itself.
  void PaceWhile(std::function<bool()> pacing, int intervalMs);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void FollowQuery();

  QTableView *grid_;
  TTableModel *model_;
  PacedFollow follow_; // now, or paced while a run goes at line rate
};
