// The trend window with 5 drives x 5 series x 1 h at 10 samples a second
// (36,000 samples a series): the time of one redraw (curves decimated to the
// plot's width, then painted) against handing every sample to the chart, the
// memory the samples take, and the processor time while the window is idle.
#include "ProcessFigures.h"
#include "app/trend/TrendChartView.h"
#include "app/trend/TrendWindow.h"
#include "trend/TrendStore.h"

#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineSeries>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {
constexpr int Drives = 5;
constexpr int SamplesPerSeries = 36000; // 1 h at 10 a second
constexpr std::int64_t StepMs = 100;

// A drive that runs up, holds and trips now and then.
std::array<double, TrendStore::SeriesCount> Values(int drive, int i) {
  const double phase = std::fmod(i / 600.0 + drive, 6.0);
  const double frequency = phase < 1 ? 50 * phase : phase < 5 ? 50 + std::sin(i * 0.05) : 0;
  return {frequency, frequency / 10, frequency * 7.6, 537 + std::sin(i * 0.01) * 5, frequency * 30};
}

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Milliseconds of one redraw: curves updated and the chart painted.
double CurvesMs = 0; // of the last frame: the curves updated, before painting
double TimedFrame(TrendWindow &window) {
  QElapsedTimer timer;
  timer.start();
  window.Redraw();
  CurvesMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  window.ChartView->viewport()->repaint();
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const double memoryBefore = ResidentMb();
  TrendStore store;
  const std::int64_t start = 1'800'000'000'000;
  for (int i = 0; i < SamplesPerSeries; ++i)
    for (int drive = 1; drive <= Drives; ++drive)
      store.Add(drive, start + i * StepMs, Values(drive, i),
                Values(drive, i)[0] == 0 && i % 3600 == 0 ? 4 : 1);
  const double memoryFilled = ResidentMb();

  TrendWindow window(store);
  window.resize(1280, 720);
  window.show();
  Wait(200);
  window.WindowLength->setCurrentIndex(window.WindowLength->count() - 1); // 1 h

  // live: a new sample of every drive before each frame
  std::vector<double> frames;
  for (int frame = 0; frame < 60; ++frame) {
    const int i = SamplesPerSeries + frame;
    for (int drive = 1; drive <= Drives; ++drive)
      store.Add(drive, start + i * StepMs, Values(drive, i), 1);
    frames.push_back(TimedFrame(window));
  }
  const double memoryShown = ResidentMb();

  // idle: shown, no new samples
  const double cpuBefore = CpuSeconds();
  QElapsedTimer idle;
  idle.start();
  Wait(5000);
  const double idleCore = (CpuSeconds() - cpuBefore) / (static_cast<double>(idle.elapsed()) / 1000.0);

  // the peer: every sample handed to the chart
  QChart *chart = window.ChartView->chart();
  std::vector<double> naive;
  for (int frame = 0; frame < 3; ++frame) {
    QElapsedTimer timer;
    timer.start();
    for (QAbstractSeries *series : chart->series()) {
      auto *line = qobject_cast<QLineSeries *>(series);
      if (!line)
        continue;
      const QStringList words = line->name().split(' ');
      const int drive = words.value(1).toInt();
      int kind = 0;
      while (kind < TrendStore::SeriesCount &&
             !line->name().contains(QString::fromLatin1(TrendStore::SeriesName(kind))))
        ++kind;
      QList<QPointF> points;
      for (const TrendStore::Sample &sample : store.Samples(drive, 0, start * 2))
        points.append(
            QPointF(static_cast<double>(sample.time), sample.values[static_cast<std::size_t>(kind)]));
      line->replace(points);
    }
    window.ChartView->viewport()->repaint();
    naive.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }

  QElapsedTimer decimation;
  decimation.start();
  std::size_t decimatedPoints = 0;
  for (int drive = 1; drive <= Drives; ++drive)
    for (int series = 0; series < TrendStore::SeriesCount; ++series)
      decimatedPoints += store
                             .Decimated(drive, series, window.ShownFrom(), window.ShownTo(),
                                        static_cast<int>(chart->plotArea().width()))
                             .size();
  const double decimationMs = static_cast<double>(decimation.nsecsElapsed()) / 1e6;
  std::printf("trend: %d drives x %d series x %d samples, plot %d px wide\n", Drives, TrendStore::SeriesCount,
              SamplesPerSeries, static_cast<int>(chart->plotArea().width()));
  std::printf("redraw (decimated, painted): median %.2f ms, max %.2f ms over %zu frames\n", Median(frames),
              *std::max_element(frames.begin(), frames.end()), frames.size());
  std::printf("of which curves updated (last frame): %.2f ms, of that decimation %.2f ms (%zu points)\n",
              CurvesMs, decimationMs, decimatedPoints);
  std::printf("redraw with every sample handed to the chart: median %.1f ms (%.0fx the decimated)\n",
              Median(naive), Median(naive) / Median(frames));
  std::printf(
      "samples in the store: %.1f MB; resident memory: %.1f MB empty, %.1f MB filled, %.1f MB shown\n",
      static_cast<double>(store.MemoryBytes()) / (1024 * 1024), memoryBefore, memoryFilled, memoryShown);
  std::printf("idle, window shown: %.2f %% of a core\n", idleCore * 100);
  return 0;
}
