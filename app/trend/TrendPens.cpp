#include "app/trend/TrendPens.h"

#include "trend/TrendStore.h"

#include <array>

namespace TrendPens {
QColor DriveColor(int index) {
  // far apart in hue, and dark enough to read on white
  static const std::array<QColor, 8> colors = {QColor(0, 90, 200),   QColor(210, 60, 0),  QColor(0, 140, 60),
                                               QColor(140, 50, 170), QColor(160, 110, 0), QColor(0, 140, 150),
                                               QColor(200, 0, 110),  QColor(90, 90, 90)};
  return colors[static_cast<std::size_t>(index < 0 ? 0 : index) % colors.size()];
}

Qt::PenStyle SeriesStyle(int series) {
  switch (series) {
  case TrendStore::Frequency:
    return Qt::SolidLine;
  case TrendStore::Current:
    return Qt::DashLine;
  case TrendStore::OutputVoltage:
    return Qt::DotLine;
  case TrendStore::DcBusVoltage:
    return Qt::DashDotLine;
  default:
    return Qt::DashDotDotLine;
  }
}

QPen CurvePen(int driveIndex, int series) {
  QPen pen(DriveColor(driveIndex), 1, SeriesStyle(series));
  pen.setCosmetic(true);
  return pen;
}
} // namespace TrendPens
