#include "app/trend/TrendChartView.h"

#include <QGraphicsLineItem>
#include <QMouseEvent>
#include <QPen>
#include <QWheelEvent>

TrendChartView::TrendChartView(QChart *chart, QWidget *parent) : QChartView(chart, parent) {
  setMouseTracking(true);
  viewport()->setMouseTracking(true);           // the cursor follows the pointer without a button held
  setRenderHint(QPainter::Antialiasing, false); // thousands of segments a redraw
  cursorLine_ = new QGraphicsLineItem(chart);
  cursorLine_->setPen(QPen(QColor(90, 90, 90), 1, Qt::DashLine));
  cursorLine_->setZValue(100);
  cursorLine_->hide();
}

double TrendChartView::FractionAt(int x) const {
  const QRectF plot = chart()->plotArea();
  if (plot.width() <= 0)
    return -1;
  return (mapToScene(QPoint(x, 0)).x() - plot.left()) / plot.width();
}

void TrendChartView::wheelEvent(QWheelEvent *event) {
  const double fraction = FractionAt(static_cast<int>(event->position().x()));
  const int steps = event->angleDelta().y() / 120;
  if (steps == 0 || fraction < 0 || fraction > 1) {
    event->ignore();
    return;
  }
  emit ZoomRequested(fraction, steps > 0 ? 0.8 : 1.25);
  event->accept();
}

void TrendChartView::mouseMoveEvent(QMouseEvent *event) {
  const double fraction = FractionAt(static_cast<int>(event->position().x()));
  const QRectF plot = chart()->plotArea();
  if (fraction < 0 || fraction > 1) {
    cursorLine_->hide();
    emit CursorMoved(-1);
  } else {
    const double x = plot.left() + fraction * plot.width();
    cursorLine_->setLine(x, plot.top(), x, plot.bottom());
    cursorLine_->show();
    emit CursorMoved(fraction);
  }
  QChartView::mouseMoveEvent(event);
}

void TrendChartView::leaveEvent(QEvent *event) {
  cursorLine_->hide();
  emit CursorMoved(-1);
  QChartView::leaveEvent(event);
}
