#pragma once

#include <QChartView>

class QGraphicsLineItem;

// The trend's chart: the wheel zooms the time axis around the pointer, and a
// vertical cursor line follows the pointer.
class TrendChartView : public QChartView {
  Q_OBJECT
public:
  explicit TrendChartView(QChart *chart, QWidget *parent = nullptr);

  // Where the plot area puts `fraction` (0 left edge, 1 right edge).
  double FractionAt(int x) const;

signals:
  // A wheel turn at `fraction` of the plot's width: factor below 1 zooms in.
  void ZoomRequested(double fraction, double factor);
  // The pointer stands at `fraction` of the plot's width (-1: left the plot).
  void CursorMoved(double fraction);

protected:
  void wheelEvent(QWheelEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void leaveEvent(QEvent *event) override;

private:
  QGraphicsLineItem *cursorLine_ = nullptr;
};
