#include "app/trend/TrendWindow.h"

#include "app/Dialogs.h"
#include "app/ScreenFit.h"
#include "app/trend/TrendChartView.h"
#include "app/trend/TrendCurves.h"
#include "app/trend/TrendLegend.h"
#include "app/trend/TrendPens.h"
#include "drive/StatusDecoding.h"
#include "trend/TrendExport.h"
#include "trend/TrendTicks.h"

#include <QCategoryAxis>
#include <QChart>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QGraphicsSimpleTextItem>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// Redraws at most ten times a second however fast the samples come.
constexpr int RedrawDelayMs = 100;

const std::pair<const char *, int> WindowLengths[] = {{"10 s", 10},   {"30 s", 30},    {"1 min", 60},
                                                      {"5 min", 300}, {"10 min", 600}, {"30 min", 1800},
                                                      {"1 h", 3600}};
constexpr int DefaultWindowIndex = 2;

const char *const ShortNames[TrendStore::SeriesCount] = {"Freq", "Current", "Out V", "DC Bus", "Speed"};
const char *const StyleNames[TrendStore::SeriesCount] = {"solid line", "dashed line", "dotted line",
                                                         "dash-dot line", "dash-dot-dot line"};
// The time labels want about this much room each.
constexpr int TickRoomPx = 70;
// Trip and reset marks: the marker's size, and how far below the plot's top
// edge its centre stands so that it shows whole.
constexpr int MarkSize = 11;
constexpr int MarkInsetPx = 8;

// Hz and A on the left axis, the voltages and the speed on the right.
bool OnLeftAxis(int series) { return series == TrendStore::Frequency || series == TrendStore::Current; }

// A range that starts at 0 for values that never go below it, with a little
// room above the highest value, rounded to numbers that read well. Set only
// when it changes: each change lays the curves out again.
void FitAxis(QValueAxis *axis, double low, double high) {
  if (low > high) {
    low = 0;
    high = 1;
  }
  low = std::min(low, 0.0);
  high = high <= low ? low + 1 : high + (high - low) * 0.05;
  // nice numbers: a step of 1, 2 or 5 times a power of ten, about five of them
  const double rough = (high - low) / 5;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  const double step = rough <= power       ? power
                      : rough <= 2 * power ? 2 * power
                      : rough <= 5 * power ? 5 * power
                                           : 10 * power;
  low = std::floor(low / step) * step;
  high = std::ceil(high / step) * step;
  if (axis->min() != low || axis->max() != high)
    axis->setRange(low, high);
  const int ticks = static_cast<int>(std::lround((high - low) / step)) + 1;
  if (axis->tickCount() != ticks)
    axis->setTickCount(ticks);
}
} // namespace

TrendWindow::TrendWindow(const TrendStore &store, QWidget *parent)
    : QWidget(parent, Qt::Window), store_(store) {
  setObjectName(QStringLiteral("TrendWindow"));
  setWindowTitle(QStringLiteral("Trend"));
  ScreenFit::PlaceOnScreen(this, 1000, 600, parent);
  ScreenFit::KeepOnScreen(this);

  WindowLength = new QComboBox(this);
  for (const auto &[name, seconds] : WindowLengths)
    WindowLength->addItem(QString::fromLatin1(name), seconds);
  WindowLength->setCurrentIndex(DefaultWindowIndex);
  PauseButton = new QPushButton(QStringLiteral("Pause"), this);
  LiveButton = new QPushButton(QStringLiteral("Live"), this);
  LiveButton->setToolTip(QStringLiteral("Follow the newest samples again after a zoom"));
  ExportCsvButton = new QPushButton(QStringLiteral("Export CSV..."), this);
  ExportPngButton = new QPushButton(QStringLiteral("Export PNG..."), this);

  auto *bar = new QHBoxLayout;
  bar->addWidget(new QLabel(QStringLiteral("Window:"), this));
  bar->addWidget(WindowLength);
  bar->addWidget(PauseButton);
  bar->addWidget(LiveButton);
  bar->addStretch(1);
  bar->addWidget(ExportCsvButton);
  bar->addWidget(ExportPngButton);

  SeriesTable = new QTableWidget(0, TrendStore::SeriesCount, this);
  QStringList titles;
  for (const char *name : ShortNames)
    titles << QString::fromLatin1(name);
  SeriesTable->setHorizontalHeaderLabels(titles);
  SeriesTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SeriesTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  SeriesTable->setToolTip(QStringLiteral("Tick a series to show it"));
  SeriesTable->setFixedWidth(300);
  // the drives differ by colour (the row titles are in it), the quantities
  // by line style
  for (int s = 0; s < TrendStore::SeriesCount; ++s)
    SeriesTable->horizontalHeaderItem(s)->setToolTip(QStringLiteral("%1 (%2): %3")
                                                         .arg(QString::fromLatin1(TrendStore::SeriesName(s)),
                                                              QString::fromLatin1(TrendStore::SeriesUnit(s)),
                                                              QString::fromLatin1(StyleNames[s])));

  chart_ = new QChart;
  // the chart's own legend has no room for a drive's five quantities: the
  // legend under the chart names them
  chart_->legend()->hide();
  chart_->setMargins(QMargins(4, 4, 4, 4));
  timeAxis_ = new QCategoryAxis;
  timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  timeAxis_->setTitleText(QStringLiteral("Time"));
  leftAxis_ = new QValueAxis;
  leftAxis_->setTitleText(QStringLiteral("Hz, A"));
  rightAxis_ = new QValueAxis;
  rightAxis_->setTitleText(QStringLiteral("V, r/min"));
  rightAxis_->setGridLineVisible(false); // the left axis draws the grid
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  chart_->addAxis(leftAxis_, Qt::AlignLeft);
  chart_->addAxis(rightAxis_, Qt::AlignRight);
  curvesItem_ = new TrendCurves(chart_);
  curvesItem_->setZValue(10);
  hint_ = new QGraphicsSimpleTextItem(
      QStringLiteral("No drive scanned yet.\nStart \"Period Scan\" on the VOSSEK COM tab (its \"Scan\" "
                     "button):\nthe drives it reads are drawn here."),
      chart_);
  hint_->setZValue(60);
  Legend = new TrendLegend(this);
  ChartView = new TrendChartView(chart_, this);
  ChartView->setMinimumSize(400, 300);
  CursorLabel = new QLabel(this);
  CursorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  CursorLabel->setWordWrap(true);

  auto *plot = new QVBoxLayout;
  plot->addWidget(ChartView, 1);
  plot->addWidget(Legend);
  auto *body = new QHBoxLayout;
  body->addWidget(SeriesTable);
  body->addLayout(plot, 1);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addLayout(body, 1);
  layout->addWidget(CursorLabel);

  connect(WindowLength, &QComboBox::currentIndexChanged, this, [this] { Redraw(); });
  connect(PauseButton, &QPushButton::clicked, this, [this] { SetPaused(!paused_); });
  connect(LiveButton, &QPushButton::clicked, this, [this] {
    zoomed_ = false;
    SetPaused(false);
  });
  connect(ExportCsvButton, &QPushButton::clicked, this, [this] { ExportCsv(); });
  connect(ExportPngButton, &QPushButton::clicked, this, [this] { ExportPng(); });
  connect(SeriesTable, &QTableWidget::itemChanged, this, [this] { Redraw(); });
  // The curves are in pixels: a plot area laid out anew (the window shown or
  // resized, the axis labels wider) needs them again.
  connect(
      chart_, &QChart::plotAreaChanged, this,
      [this] {
        if (isVisible())
          Redraw();
      },
      Qt::QueuedConnection);
  connect(ChartView, &TrendChartView::ZoomRequested, this, &TrendWindow::Zoom);
  connect(ChartView, &TrendChartView::CursorMoved, this, &TrendWindow::ShowCursor);
}

std::int64_t TrendWindow::WindowMs() const { return WindowLength->currentData().toLongLong() * 1000; }

TrendWindow::DriveCurves &TrendWindow::CurvesOf(int drive) {
  const auto found = curves_.find(drive);
  if (found != curves_.end())
    return found->second;
  DriveCurves &curves = curves_[drive];
  // rows in address order
  int row = 0;
  for (const auto &entry : curves_)
    if (entry.first < drive)
      ++row;
  for (auto &entry : curves_)
    if (entry.first > drive)
      ++entry.second.row;
  curves.row = row;
  const QSignalBlocker blocker(SeriesTable);
  SeriesTable->insertRow(row);
  // a drive keeps the colour it was given when it first answered
  curves.colorIndex = static_cast<int>(curves_.size()) - 1;
  auto *title = new QTableWidgetItem(QStringLiteral("Drive %1").arg(drive));
  title->setForeground(TrendPens::DriveColor(curves.colorIndex));
  SeriesTable->setVerticalHeaderItem(row, title);
  for (int s = 0; s < TrendStore::SeriesCount; ++s) {
    auto *item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Checked);
    SeriesTable->setItem(row, s, item);
    auto *line = new QLineSeries;
    line->setName(QStringLiteral("%1 %2 (%3)")
                      .arg(QStringLiteral("Drive %1").arg(drive),
                           QString::fromLatin1(TrendStore::SeriesName(s)),
                           QString::fromLatin1(TrendStore::SeriesUnit(s))));
    line->setPen(TrendPens::CurvePen(curves.colorIndex, s));
    chart_->addSeries(line);
    line->attachAxis(timeAxis_);
    line->attachAxis(OnLeftAxis(s) ? leftAxis_ : rightAxis_);
    curves.lines[static_cast<std::size_t>(s)] = line;
  }
  curves.trips = new QScatterSeries;
  curves.trips->setName(QStringLiteral("Drive %1 trips").arg(drive));
  curves.trips->setColor(Qt::red);
  curves.trips->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
  curves.trips->setMarkerSize(MarkSize);
  curves.resets = new QScatterSeries;
  curves.resets->setName(QStringLiteral("Drive %1 resets").arg(drive));
  curves.resets->setColor(QColor(0, 150, 60));
  curves.resets->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
  curves.resets->setMarkerSize(MarkSize - 2);
  for (QScatterSeries *marks : {curves.resets, curves.trips}) {
    chart_->addSeries(marks);
    marks->attachAxis(timeAxis_);
    marks->attachAxis(leftAxis_);
  }
  return curves;
}

int TrendWindow::PlottedPointCount(int drive, int series) const {
  if (!Shown(drive, series))
    return 0;
  // the curves are drawn in the order of the drives and their series
  std::size_t index = 0;
  for (const auto &entry : curves_)
    for (int s = 0; s < TrendStore::SeriesCount; ++s) {
      if (entry.first == drive && s == series)
        return index < curvesItem_->Curves().size()
                   ? static_cast<int>(curvesItem_->Curves()[index].points.size())
                   : 0;
      if (Shown(entry.first, s))
        ++index;
    }
  return 0;
}

bool TrendWindow::Shown(int drive, int series) const {
  const auto found = curves_.find(drive);
  if (found == curves_.end())
    return false;
  const QTableWidgetItem *item = SeriesTable->item(found->second.row, series);
  return item && item->checkState() == Qt::Checked;
}

void TrendWindow::SamplesAdded() {
  if (!paused_ && !zoomed_ && isVisible())
    ScheduleRedraw();
}

void TrendWindow::ScheduleRedraw() {
  if (redrawQueued_)
    return;
  redrawQueued_ = true;
  QTimer::singleShot(RedrawDelayMs, this, [this] {
    redrawQueued_ = false;
    if (!paused_ && !zoomed_ && isVisible())
      Redraw();
  });
}

void TrendWindow::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  Redraw();
}

void TrendWindow::SetPaused(bool paused) {
  paused_ = paused;
  PauseButton->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
  if (!paused) {
    zoomed_ = false;
    Redraw();
  }
}

void TrendWindow::Zoom(double fraction, double factor) {
  if (to_ <= from_)
    return;
  const double span = static_cast<double>(to_ - from_);
  const double at = static_cast<double>(from_) + fraction * span;
  const double newSpan = std::clamp(span * factor, 1000.0, 3600.0 * 1000);
  from_ = static_cast<std::int64_t>(at - fraction * newSpan);
  to_ = static_cast<std::int64_t>(at + (1 - fraction) * newSpan);
  zoomed_ = true; // the view stays where the zoom put it until Live or Resume
  Redraw();
}

void TrendWindow::Redraw() {
  for (const int drive : store_.Drives())
    CurvesOf(drive);
  if (!zoomed_ && !paused_) {
    to_ = store_.LatestTime() > 0 ? store_.LatestTime() : QDateTime::currentMSecsSinceEpoch();
    from_ = to_ - WindowMs();
  } else if (!zoomed_ && to_ - from_ != WindowMs()) {
    from_ = to_ - WindowMs(); // a paused view keeps its end, the length follows the choice
  }
  const int columns = std::max(1, static_cast<int>(chart_->plotArea().width()));
  // the values first: they decide the axes, and the axes the pixels
  double lows[2] = {1e300, 1e300}, highs[2] = {-1e300, -1e300};
  struct ShownCurve {
    QPen pen;
    int side;
    std::vector<TrendStore::Point> points;
  };
  std::vector<ShownCurve> shownCurves;
  for (auto &[drive, curves] : curves_) {
    for (int s = 0; s < TrendStore::SeriesCount; ++s) {
      QLineSeries *line = curves.lines[static_cast<std::size_t>(s)];
      const bool shown = Shown(drive, s);
      line->setVisible(shown); // its legend entry
      if (!shown)
        continue;
      const int side = OnLeftAxis(s) ? 0 : 1;
      shownCurves.push_back({line->pen(), side, store_.Decimated(drive, s, from_, to_, columns)});
      for (const TrendStore::Point &point : shownCurves.back().points) {
        lows[side] = std::min(lows[side], static_cast<double>(point.value));
        highs[side] = std::max(highs[side], static_cast<double>(point.value));
      }
    }
  }
  ShowTimeAxis(columns);
  FitAxis(leftAxis_, lows[0], highs[0]);
  FitAxis(rightAxis_, lows[1], highs[1]);

  const QRectF plot = chart_->plotArea();
  const QValueAxis *axes[2] = {leftAxis_, rightAxis_};
  const double xScale = plot.width() / static_cast<double>(std::max<std::int64_t>(1, to_ - from_));
  std::vector<TrendCurves::Curve> drawn;
  drawn.reserve(shownCurves.size());
  for (const ShownCurve &curve : shownCurves) {
    const QValueAxis *axis = axes[curve.side];
    const double yScale = plot.height() / std::max(1e-9, axis->max() - axis->min());
    QPolygonF polyline;
    polyline.reserve(static_cast<qsizetype>(curve.points.size()));
    for (const TrendStore::Point &point : curve.points)
      polyline.append(QPointF(plot.left() + static_cast<double>(point.time - from_) * xScale,
                              plot.bottom() - (static_cast<double>(point.value) - axis->min()) * yScale));
    drawn.push_back({curve.pen.color(), curve.pen.style(), std::move(polyline)});
  }
  curvesItem_->SetCurves(plot, std::move(drawn));

  ShowMarks();
  ShowLegend();
  hint_->setVisible(curves_.empty());
  if (hint_->isVisible())
    hint_->setPos(plot.center() - hint_->boundingRect().center());
}

void TrendWindow::ShowTimeAxis(int plotWidth) {
  const std::int64_t offset = QDateTime::fromMSecsSinceEpoch(from_).offsetFromUtc() * 1000LL;
  const TrendTicks ticks = RoundTrendTicks(from_, to_, plotWidth / TickRoomPx, offset);
  const QString format = ticks.Seconds() ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
  QStringList labels;
  for (const std::int64_t at : ticks.at)
    labels << QDateTime::fromMSecsSinceEpoch(at).toString(format);
  // set anew only when they changed: each change lays the axis out again
  if (labels != timeAxis_->categoriesLabels() || timeAxis_->min() != static_cast<double>(from_) ||
      timeAxis_->max() != static_cast<double>(to_)) {
    for (const QString &label : timeAxis_->categoriesLabels())
      timeAxis_->remove(label);
    timeAxis_->setRange(static_cast<double>(from_), static_cast<double>(to_));
    timeAxis_->setStartValue(static_cast<double>(from_));
    for (int i = 0; i < labels.size(); ++i)
      timeAxis_->append(labels[i], static_cast<double>(ticks.at[static_cast<std::size_t>(i)]));
  }
  const std::int64_t step = ticks.stepMs / 1000;
  const QString every = step < 60     ? QStringLiteral("%1 s").arg(step)
                        : step < 3600 ? QStringLiteral("%1 min").arg(step / 60)
                                      : QStringLiteral("%1 h").arg(step / 3600);
  const QString title =
      QStringLiteral("Time (%1, %2 a tick)").arg(ticks.Seconds() ? "h:min:s" : "h:min", every);
  if (timeAxis_->titleText() != title)
    timeAxis_->setTitleText(title);
}

void TrendWindow::ShowMarks() {
  for (QGraphicsSimpleTextItem *label : markLabels_)
    delete label;
  markLabels_.clear();
  const QRectF plot = chart_->plotArea();
  // the marks' centre a little below the top edge, so that they show whole,
  // and each drive's names on a line of their own beneath them
  const double perPixel = (leftAxis_->max() - leftAxis_->min()) / std::max(1.0, plot.height());
  const double markValue = leftAxis_->max() - MarkInsetPx * perPixel;
  const double lineHeight = QFontMetricsF(chart_->font()).height();
  QList<QRectF> placed; // names never cover one another: a name that would goes a line lower
  for (auto &[drive, curves] : curves_) {
    const std::pair<QScatterSeries *, const std::vector<TrendStore::FaultMark> *> kinds[] = {
        {curves.trips, &store_.Faults(drive)}, {curves.resets, &store_.Resets(drive)}};
    for (const auto &[series, marks] : kinds) {
      QList<QPointF> points;
      const bool trips = series == curves.trips;
      for (const TrendStore::FaultMark &mark : *marks) {
        if (mark.time < from_ || mark.time > to_)
          continue;
        points.append(QPointF(static_cast<double>(mark.time), markValue));
        const QString name = QString::fromStdString(MachineStatusName(mark.code));
        auto *label =
            new QGraphicsSimpleTextItem(trips ? QStringLiteral("Drive %1: %2").arg(drive).arg(name)
                                              : QStringLiteral("Drive %1: reset (%2)").arg(drive).arg(name),
                                        chart_);
        label->setBrush(trips ? QColor(Qt::red) : QColor(0, 120, 50));
        const QPointF at = chart_->mapToPosition(points.last(), series);
        const double width = label->boundingRect().width();
        // beside its mark, on the mark's left near the right edge, inside the plot
        const double x = at.x() + 8 + width > plot.right() ? at.x() - 8 - width : at.x() + 8;
        QRectF room(std::max(plot.left() + 2, x), plot.top() + MarkInsetPx + MarkSize / 2.0, width + 6,
                    lineHeight);
        while (
            std::any_of(placed.cbegin(), placed.cend(), [&](const QRectF &r) { return r.intersects(room); }))
          room.translate(0, lineHeight);
        placed.append(room);
        label->setPos(room.topLeft());
        label->setZValue(50);
        markLabels_.append(label);
      }
      series->replace(points);
    }
  }
}

void TrendWindow::ShowLegend() {
  std::vector<TrendLegend::Drive> drives;
  for (const auto &[drive, curves] : curves_) {
    TrendLegend::Drive entry{drive, curves.colorIndex, {}};
    for (int s = 0; s < TrendStore::SeriesCount; ++s)
      if (Shown(drive, s))
        entry.series.push_back(s);
    drives.push_back(entry);
  }
  Legend->SetDrives(std::move(drives));
}

QString TrendWindow::PictureTitle() const {
  QStringList drives;
  for (const auto &entry : curves_)
    drives << QStringLiteral("Drive %1").arg(entry.first);
  const QDateTime from = QDateTime::fromMSecsSinceEpoch(from_);
  const QDateTime to = QDateTime::fromMSecsSinceEpoch(to_);
  return QStringLiteral("Trend of %1, %2 to %3 (%4)")
      .arg(drives.isEmpty() ? QStringLiteral("no drive") : drives.join(QStringLiteral(", ")),
           from.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
           to.toString(from.date() == to.date() ? QStringLiteral("HH:mm:ss")
                                                : QStringLiteral("yyyy-MM-dd HH:mm:ss")),
           from.timeZoneAbbreviation());
}

QImage TrendWindow::Picture() {
  const QPixmap chart = ChartView->grab();
  QFont titleFont = font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
  const int titleHeight = QFontMetrics(titleFont).height() + 10;
  const qreal ratio = chart.devicePixelRatio();
  const int width = std::max(static_cast<int>(chart.width() / ratio), Legend->width());
  const int height = static_cast<int>(chart.height() / ratio) + Legend->height() + titleHeight + 6;
  QImage image(QSize(width, height) * ratio, QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setFont(titleFont);
  painter.setPen(Qt::black);
  painter.drawText(QRect(8, 0, width - 16, titleHeight), Qt::AlignLeft | Qt::AlignVCenter, PictureTitle());
  painter.drawPixmap(0, titleHeight, chart);
  // the legend on the picture's white, not on the window's grey
  Legend->render(&painter, QPoint(0, titleHeight + static_cast<int>(chart.height() / ratio) + 6), QRegion(),
                 QWidget::DrawChildren);
  return image;
}

void TrendWindow::ShowCursor(double fraction) {
  if (fraction < 0 || to_ <= from_) {
    CursorLabel->clear();
    return;
  }
  const auto time = from_ + static_cast<std::int64_t>(fraction * static_cast<double>(to_ - from_));
  QStringList parts;
  for (const auto &[drive, curves] : curves_) {
    TrendStore::Sample sample{};
    if (!store_.Nearest(drive, time, sample))
      continue;
    QStringList values;
    for (int s = 0; s < TrendStore::SeriesCount; ++s)
      if (Shown(drive, s))
        values << QStringLiteral("%1 %2 %3")
                      .arg(QString::fromLatin1(TrendStore::SeriesName(s)))
                      .arg(static_cast<double>(sample.values[static_cast<std::size_t>(s)]), 0, 'f', 2)
                      .arg(QString::fromLatin1(TrendStore::SeriesUnit(s)));
    if (!values.isEmpty())
      parts << QStringLiteral("Drive %1: %2, %3")
                   .arg(drive)
                   .arg(values.join(QStringLiteral(", ")))
                   .arg(QString::fromStdString(MachineStatusName(sample.statusCode)));
  }
  CursorLabel->setText(QString::fromStdString(LocalTimeText(time)) + QStringLiteral("   ") +
                       parts.join(QStringLiteral("   ")));
}

void TrendWindow::ExportCsv() {
  const QString path =
      Dialogs::GetSaveFileName(QStringLiteral("Export Trend Data"), QStringLiteral("trend.csv"),
                               QStringLiteral("CSV file(*.csv)|*.csv"));
  if (path.isEmpty())
    return;
  std::vector<TrendShownSeries> shown;
  for (const auto &entry : curves_) {
    TrendShownSeries drive{entry.first, {}};
    for (int s = 0; s < TrendStore::SeriesCount; ++s)
      drive.shown[static_cast<std::size_t>(s)] = Shown(entry.first, s);
    shown.push_back(drive);
  }
  const std::string csv = TrendCsv(store_, shown, from_, to_);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) ||
      !file.flush())
    Dialogs::ShowMessage(QStringLiteral("Cannot write ") + path + QStringLiteral(": ") + file.errorString());
}

void TrendWindow::ExportPng() {
  const QString path =
      Dialogs::GetSaveFileName(QStringLiteral("Export Trend Picture"), QStringLiteral("trend.png"),
                               QStringLiteral("PNG picture(*.png)|*.png"));
  if (path.isEmpty())
    return;
  if (!Picture().save(path, "PNG"))
    Dialogs::ShowMessage(QStringLiteral("Cannot write ") + path);
}
