#pragma once

#include <QColor>
#include <QPen>

// How the trend tells its curves apart: each drive has a colour of its own,
// each quantity a line style of its own, in the chart, its legend and the
// exported picture alike.
namespace TrendPens {
// The colour of the drive listed `index`-th (0 first), repeating after eight.
QColor DriveColor(int index);
Qt::PenStyle SeriesStyle(int series);
// One pixel wide, so that the chart draws fast however many curves it has.
QPen CurvePen(int driveIndex, int series);
} // namespace TrendPens
