#include "app/trend/TrendCurves.h"

#include <QPainter>
#include <QPen>

TrendCurves::TrendCurves(QGraphicsItem *parent) : QGraphicsItem(parent) {}

void TrendCurves::SetCurves(const QRectF &plotArea, std::vector<Curve> curves) {
  if (plotArea != plotArea_)
    prepareGeometryChange();
  plotArea_ = plotArea;
  curves_ = std::move(curves);
  update();
}

void TrendCurves::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *) {
  painter->save();
  painter->setClipRect(plotArea_);
  painter->setRenderHint(QPainter::Antialiasing, false);
  for (const Curve &curve : curves_) {
    QPen pen(curve.color, 1, curve.style);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->drawPolyline(curve.points);
  }
  painter->restore();
}
