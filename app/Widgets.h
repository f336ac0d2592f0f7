#pragma once

#include "base/LampColor.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QButtonGroup;
class QRadioButton;

// Converts a colour value with red in the low byte into a QColor.
QColor ColorFromBgr(int bgr);

// Lays out the widget's text without shaping (ligatures, kerning). For hex
// frames and numbers set hundreds of times a second it looks the same and
// costs a fraction; scripts that need shaping still get it. Not for text
// that may be elided: its cut comes out shorter.
void SkipTextShaping(QWidget *widget);

// A round status lamp.
class TShape : public QWidget {
  Q_OBJECT
public:
  explicit TShape(QWidget *parent = nullptr);
  int BrushColor() const { return brushColor_; }
  void SetBrushColor(int bgr);
  // Drawn pale: what it shows is not live.
  void SetFaded(bool faded);
  bool Faded() const { return faded_; }
  QSize sizeHint() const override { return {22, 22}; }

protected:
  void paintEvent(QPaintEvent *) override;

private:
  int brushColor_ = LampColor::Off;
  bool faded_ = false;
};

// A read-only edit that reports clicks (the common-parameter boxes).
class TClickEdit : public QLineEdit {
  Q_OBJECT
public:
  using QLineEdit::QLineEdit;
signals:
  void clicked();

protected:
  void mousePressEvent(QMouseEvent *event) override;
};

// A framed group of radio buttons with an item index (-1 = none chosen).
class TRadioGroup : public QGroupBox {
  Q_OBJECT
public:
  TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent = nullptr);
  int ItemIndex() const;
  void SetItemIndex(int index);
  QRadioButton *Button(int index) const { return buttons_.value(index); }
signals:
  void clicked(); // the user chose an item

private:
  QButtonGroup *group_;
  QVector<QRadioButton *> buttons_;
};

// A label for a status text of any length: it never asks for more room than
// it is given, so that a long text cannot widen the window past the screen;
// a text that does not fit is cut in the middle with "…" and shown whole in
// the tool tip (unless a tool tip of its own was given).
class TElidedLabel : public QLabel {
  Q_OBJECT
public:
  explicit TElidedLabel(QWidget *parent = nullptr) : QLabel(parent) {}
  QString FullText() const { return full_; }
  void SetFullText(const QString &text);
  // A tool tip that stays, elided or not; empty: the full text when elided.
  void SetFixedToolTip(const QString &text);
  // The width it asks for however short its text (0: the text's own).
  void SetDesignWidth(int width) { designWidth_ = width; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  void Elide();
  QString full_;
  QString fixedToolTip_;
  int designWidth_ = 0;
};

// A status bar with fixed-width text panels.
class TStatusBar : public QStatusBar {
  Q_OBJECT
public:
  TStatusBar(const QVector<int> &widths, QWidget *parent = nullptr);
  QString PanelText(int index) const;
  void SetPanelText(int index, const QString &text);
  QString PanelToolTip(int index) const;
  void SetPanelToolTip(int index, const QString &text);
  int PanelCount() const { return panels_.size(); }
  // Lets a panel grow beyond its width to show a longer text whole, as far
  // as the window has room; in a window narrower than the panels' widths it
  // is the one that gives way, its text elided, so that the panels after it
  // stay in view.
  void LetPanelGrow(int index);
  // The least width of a panel: room for `sample` (its longest text).
  void SetPanelLeast(int index, const QString &sample);

private:
  QVector<TElidedLabel *> panels_;
};
