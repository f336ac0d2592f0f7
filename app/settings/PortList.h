#pragma once

#include "serial/PortNames.h"

#include <QStyledItemDelegate>

class QComboBox;

// The port list of the "ProtocolSettings" window: "COM1" to "COM20" always
// first, at their item indexes (the stored settings keep them by index), each
// with the device it is linked to beside it, then the serial devices present
// on this machine by path, with what they are.
namespace PortList {
constexpr int ListedComPorts = PortNames::HighestComPort;
// The role of an item's label, the text shown beside its name.
constexpr int LabelRole = Qt::UserRole + 1;

// Reads the devices now and refills the list after "COM20"; the text in the
// box stays as it was. `root` stands for "/" when looking for devices.
void Refresh(QComboBox *box, const QString &dataFolder, const QString &root);
} // namespace PortList

// Draws an item's label greyed beside its name, so that the name stays the
// item's text: what the box shows and the port settings take.
class TPortItemDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
  QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
