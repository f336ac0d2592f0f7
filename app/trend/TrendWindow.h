#pragma once

#include "trend/TrendStore.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <map>

class QChart;
class QComboBox;
class QCategoryAxis;
class QGraphicsSimpleTextItem;
class QImage;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QTableWidget;
class QValueAxis;
class TrendChartView;
class TrendCurves;
class TrendLegend;

// "Trend": the values of the scanned drives against time, one curve per drive
// and series, each shown or hidden in the series table; a rolling window of
// 10 s to 1 h that follows the newest sample, pause and resume, zoom on the
// time axis with the wheel, a cursor that reads the values under the
// pointer, the trips and resets marked with their fault names; the plotted data as CSV
// and the picture as PNG. It redraws only when samples came and it is shown,
// following and not paused, so it costs nothing while idle.
class TrendWindow : public QWidget {
  Q_OBJECT
public:
  explicit TrendWindow(const TrendStore &store, QWidget *parent = nullptr);

  // New samples are in the store.
  void SamplesAdded();
  // Draws the curves of the current time range now.
  void Redraw();

  // The time range shown, ms since the epoch.
  std::int64_t ShownFrom() const { return from_; }
  std::int64_t ShownTo() const { return to_; }
  bool Paused() const { return paused_; }
  // Points of the drive's series in the picture (0 when hidden).
  int PlottedPointCount(int drive, int series) const;

  QComboBox *WindowLength = nullptr;
  QPushButton *PauseButton = nullptr; // "Pause" / "Resume"
  QPushButton *LiveButton = nullptr;  // back to the rolling window after a zoom
  QPushButton *ExportCsvButton = nullptr;
  QPushButton *ExportPngButton = nullptr;
  QTableWidget *SeriesTable = nullptr; // rows: drives, columns: series, checkable
  TrendChartView *ChartView = nullptr;
  QLabel *CursorLabel = nullptr;
  TrendLegend *Legend = nullptr; // names each drive's curves with units

  // The picture "Export PNG..." saves: a title naming the drives, the time
  // range and its date above the chart, and the legend with the units below.
  QImage Picture();
  QString PictureTitle() const;

protected:
  void showEvent(QShowEvent *event) override;

private:
  struct DriveCurves {
    int row = 0;
    std::array<QLineSeries *, TrendStore::SeriesCount> lines{};
    QScatterSeries *trips = nullptr;
    QScatterSeries *resets = nullptr;
    int colorIndex = 0;
  };
  DriveCurves &CurvesOf(int drive);
  bool Shown(int drive, int series) const;
  void ScheduleRedraw();
  void SetPaused(bool paused);
  void Zoom(double fraction, double factor);
  void ShowCursor(double fraction);
  void ExportCsv();
  void ExportPng();
  std::int64_t WindowMs() const;
  // The time axis's ticks on round steps for a plot `plotWidth` wide.
  void ShowTimeAxis(int plotWidth);
  // Trips and resets: a mark at the top of the plot and the fault's name.
  void ShowMarks();
  void ShowLegend();

  const TrendStore &store_;
  QChart *chart_ = nullptr;
  TrendCurves *curvesItem_ = nullptr;
  QCategoryAxis *timeAxis_ = nullptr; // ms since the epoch, labelled at round times
  QValueAxis *leftAxis_ = nullptr;    // Hz and A
  QValueAxis *rightAxis_ = nullptr;   // V and r/min
  std::map<int, DriveCurves> curves_;
  QList<QGraphicsSimpleTextItem *> markLabels_;
  QGraphicsSimpleTextItem *hint_ = nullptr; // what to do when nothing is scanned
  bool paused_ = false;
  bool zoomed_ = false;
  bool redrawQueued_ = false;
  std::int64_t from_ = 0;
  std::int64_t to_ = 0;
};
