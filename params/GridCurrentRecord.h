#pragma once

#include <QObject>

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

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void FollowQuery();

  QTableView *grid_;
  TTableModel *model_;
};
