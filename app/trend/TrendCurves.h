#pragma once

#include <QColor>
#include <QGraphicsItem>
#include <QPolygonF>
#include <vector>

// The trend's curves, drawn straight into the chart's plot area as
// polylines already in pixels. The chart's own line series lay out and
// stroke every point again at each change (about a microsecond a point),
// too slow for 25 curves of 1,600 points ten times a second; the chart keeps
// the axes, the legend and the trip marks.
class TrendCurves : public QGraphicsItem {
public:
  struct Curve {
    QColor color;
    Qt::PenStyle style = Qt::SolidLine; // the quantity's
    QPolygonF points;                   // in the chart's coordinates
  };

  explicit TrendCurves(QGraphicsItem *parent = nullptr);

  void SetCurves(const QRectF &plotArea, std::vector<Curve> curves);
  const std::vector<Curve> &Curves() const { return curves_; }

  QRectF boundingRect() const override { return plotArea_; }
  void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
  QRectF plotArea_;
  std::vector<Curve> curves_;
};
