#include "app/params/GridCurrentRecord.h"

#include "settings/TableModel.h"

#include <QKeyEvent>
#include <QTableView>

TGridCurrentRecord::TGridCurrentRecord(QTableView *grid, TTableModel *model)
    : QObject(grid), grid_(grid), model_(model) {
  connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex &current) {
            if (current.isValid())
              model_->SetCurrentRow(current.row());
          });
  connect(model_, &TTableModel::CurrentRowChanged, &follow_, &PacedFollow::Moved);
  // A reopen leaves the grid without a current cell even when the record
  // stays the same.
  connect(model_, &QAbstractItemModel::modelReset, &follow_, &PacedFollow::Moved);
  connect(&follow_, &PacedFollow::Follow, this, &TGridCurrentRecord::FollowQuery);
  grid_->installEventFilter(this);
}

void TGridCurrentRecord::PaceWhile(std::function<bool()> pacing, int intervalMs) {
  follow_.PaceWhile(std::move(pacing), intervalMs);
}

void TGridCurrentRecord::FollowQuery() {
  const int row = model_->CurrentRow();
  if (row < 0 || model_->columnCount() == 0)
    return;
  // Keep the clicked column (the parameter window looks at it); after a
  // reopen take the leftmost column in view so the grid does not scroll
  // sideways.
  int column = grid_->currentIndex().column();
  if (column < 0)
    column = std::max(0, grid_->columnAt(1));
  const QModelIndex target = model_->index(row, column);
  if (grid_->currentIndex() != target)
    grid_->selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
  grid_->scrollTo(target);
}

bool TGridCurrentRecord::eventFilter(QObject *watched, QEvent *event) {
  if (watched == grid_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent *>(event)->key();
    if ((key == Qt::Key_Home || key == Qt::Key_End) && model_->rowCount() > 0) {
      model_->SetCurrentRow(key == Qt::Key_Home ? 0 : model_->rowCount() - 1);
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}
