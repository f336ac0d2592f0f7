#pragma once

#include <QStyledItemDelegate>

// Draws every cell of the function table's current record (the model's
// TTableModel::CurrentRowRole) in white on dark violet; all other rows keep
// the grid's own colours. The grid's own selection is not drawn: the current
// record is the only mark.
class TCurrentRowDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  // Colour of the current row, red in the low byte.
  static constexpr int CurrentRowColor = 0x800040;

  using QStyledItemDelegate::QStyledItemDelegate;

  // Public so that the colours of a cell can be checked without painting.
  void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
