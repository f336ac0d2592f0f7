#include "app/settings/PortList.h"

#include "serial/PortDetection.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>
#include <QScrollBar>

namespace {
constexpr int kLabelGap = 16; // pixels between a name and its label

// The label is the item's tool tip too: a long one is cut short in the list.
void SetLabel(QComboBox *box, int item, const QVariant &label) {
  box->setItemData(item, label, PortList::LabelRole);
  box->setItemData(item, label, Qt::ToolTipRole);
}
} // namespace

namespace PortList {
void Refresh(QComboBox *box, const QString &dataFolder, const QString &root) {
  const QString text = box->currentText();

  for (int i = 0; i < std::min<int>(box->count(), ListedComPorts); ++i)
    SetLabel(box, i, QVariant());
  for (const TDetectedPort &port : PortDetection::LinkedComPorts(dataFolder, root)) {
    const int item = box->findText(port.Path, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (item < 0 || item >= ListedComPorts)
      continue;
    SetLabel(box, item, port.Label);
  }

  while (box->count() > ListedComPorts)
    box->removeItem(box->count() - 1);
  for (const TDetectedPort &port : PortDetection::SerialDevices(root)) {
    box->addItem(port.Path);
    SetLabel(box, box->count() - 1, port.Label);
  }

  // The list opens wide enough for the longest name with its label.
  box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) +
                               box->view()->verticalScrollBar()->sizeHint().width());

  // What was chosen or typed stays; removing items must not change it.
  if (const int again = box->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive); again >= 0)
    box->setCurrentIndex(again);
  else if (text.isEmpty())
    box->setCurrentIndex(-1);
  else
    box->setEditText(text);
}
} // namespace PortList

void TPortItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const {
  QStyledItemDelegate::paint(painter, option, index);
  const QString label = index.data(PortList::LabelRole).toString();
  if (label.isEmpty())
    return;
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  const int nameWidth = item.fontMetrics.horizontalAdvance(item.text);
  QRect area = option.rect.adjusted(nameWidth + kLabelGap, 0, 0, 0);
  painter->save();
  painter->setPen(option.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                             : QPalette::PlaceholderText));
  painter->drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
                    item.fontMetrics.elidedText(label, Qt::ElideRight, area.width()));
  painter->restore();
}

QSize TPortItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  const QString label = index.data(PortList::LabelRole).toString();
  if (!label.isEmpty())
    size.rwidth() += kLabelGap + option.fontMetrics.horizontalAdvance(label);
  return size;
}
