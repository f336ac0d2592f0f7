#include "app/Widgets.h"

#include <QButtonGroup>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

QColor ColorFromBgr(int bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

void SkipTextShaping(QWidget *widget) {
  QFont font = widget->font();
  font.setStyleStrategy(QFont::PreferNoShaping);
  widget->setFont(font);
}

TShape::TShape(QWidget *parent) : QWidget(parent) { setMinimumSize(18, 18); }

void TShape::SetBrushColor(int bgr) {
  if (bgr == brushColor_)
    return;
  brushColor_ = bgr;
  update();
}

void TShape::SetFaded(bool faded) {
  if (faded == faded_)
    return;
  faded_ = faded;
  update();
}

void TShape::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(faded_ ? Qt::gray : Qt::black, 1));
  QColor color = ColorFromBgr(brushColor_);
  if (faded_) // a washed-out grey of its colour
    color = QColor::fromHsv(color.hsvHue(), color.hsvSaturation() / 4, 160 + color.value() / 4);
  painter.setBrush(color);
  const int side = qMin(width(), height()) - 2;
  painter.drawEllipse((width() - side) / 2, (height() - side) / 2, side, side);
}

void TClickEdit::mousePressEvent(QMouseEvent *event) {
  QLineEdit::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && isEnabled())
    emit clicked();
}

TRadioGroup::TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
  auto *layout = new QVBoxLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto *button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    buttons_.append(button);
    layout->addWidget(button);
  }
  connect(group_, &QButtonGroup::idClicked, this, [this](int) { emit clicked(); });
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (index >= 0 && index < buttons_.size()) {
    buttons_[index]->setChecked(true);
  } else if (QAbstractButton *checked = group_->checkedButton()) {
    group_->setExclusive(false);
    checked->setChecked(false);
    group_->setExclusive(true);
  }
}

void TElidedLabel::SetFullText(const QString &text) {
  if (text == full_ && !text.isEmpty())
    return;
  full_ = text;
  updateGeometry();
  Elide();
}

void TElidedLabel::SetFixedToolTip(const QString &text) {
  fixedToolTip_ = text;
  Elide();
}

QSize TElidedLabel::sizeHint() const {
  const QMargins m = contentsMargins();
  const int textWidth = fontMetrics().horizontalAdvance(full_) + m.left() + m.right() + 2 * margin() + 1;
  return {std::max(designWidth_, textWidth), QLabel::sizeHint().height()};
}

QSize TElidedLabel::minimumSizeHint() const {
  // Room for a few characters and the "…"; the rest of the text waits for room.
  const QMargins m = contentsMargins();
  return {fontMetrics().horizontalAdvance(QStringLiteral("Wide…")) + m.left() + m.right() + 2 * margin(),
          QLabel::minimumSizeHint().height()};
}

void TElidedLabel::resizeEvent(QResizeEvent *event) {
  QLabel::resizeEvent(event);
  Elide();
}

void TElidedLabel::Elide() {
  const int room = contentsRect().width() - 2 * margin();
  const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, std::max(room, 0));
  if (shown != text())
    setText(shown);
  const QString tip = !fixedToolTip_.isEmpty() ? fixedToolTip_ : shown != full_ ? full_ : QString();
  if (tip != toolTip())
    setToolTip(tip);
}

TStatusBar::TStatusBar(const QVector<int> &widths, QWidget *parent) : QStatusBar(parent) {
  setSizeGripEnabled(false);
  for (int i = 0; i < widths.size(); ++i) {
    auto *label = new TElidedLabel(this);
    label->setFrameShape(QFrame::StyledPanel);
    // The last panel reaches to the right edge of the bar.
    const bool last = i == widths.size() - 1;
    if (last)
      label->setMinimumWidth(widths[i]);
    else
      label->setFixedWidth(widths[i]);
    // A text that changes (the record counters, many times a second at line
    // rate) then leaves the bar's layout alone: a panel whose size may
    // change makes the bar lay out and repaint every panel.
    label->setFixedHeight(label->sizeHint().height());
    addWidget(label, last ? 1 : 0);
    panels_.append(label);
  }
}

QString TStatusBar::PanelText(int index) const {
  return index >= 0 && index < panels_.size() ? panels_[index]->FullText() : QString();
}

void TStatusBar::SetPanelText(int index, const QString &text) {
  if (index >= 0 && index < panels_.size())
    panels_[index]->SetFullText(text);
}

QString TStatusBar::PanelToolTip(int index) const {
  return index >= 0 && index < panels_.size() ? panels_[index]->toolTip() : QString();
}

void TStatusBar::SetPanelToolTip(int index, const QString &text) {
  if (index >= 0 && index < panels_.size())
    panels_[index]->SetFixedToolTip(text);
}

void TStatusBar::LetPanelGrow(int index) {
  if (index < 0 || index >= panels_.size())
    return;
  TElidedLabel *panel = panels_[index];
  panel->SetDesignWidth(panel->width());
  panel->setMinimumWidth(panel->minimumSizeHint().width());
  panel->setMaximumWidth(QWIDGETSIZE_MAX);
}

void TStatusBar::SetPanelLeast(int index, const QString &sample) {
  if (index < 0 || index >= panels_.size())
    return;
  TElidedLabel *panel = panels_[index];
  const QMargins m = panel->contentsMargins();
  panel->setMinimumWidth(std::max(panel->minimumWidth(),
                                  panel->fontMetrics().horizontalAdvance(sample) + m.left() + m.right() + 2));
}
