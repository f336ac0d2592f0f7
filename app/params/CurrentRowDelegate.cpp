#include "app/params/CurrentRowDelegate.h"

#include "app/Widgets.h"
#include "settings/TableModel.h"

void TCurrentRowDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
  if (!index.data(TTableModel::CurrentRowRole).toBool())
    return;
  option->backgroundBrush = ColorFromBgr(CurrentRowColor);
  option->palette.setColor(QPalette::Text, Qt::white);
  option->palette.setColor(QPalette::HighlightedText, Qt::white);
}
