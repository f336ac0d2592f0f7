#include "app/WindowState.h"

#include "app/ScreenFit.h"

#include "base/AppPaths.h"
#include "settings/Preferences.h"

#include <QEvent>
#include <QMainWindow>
#include <QSplitter>

namespace {
const QString GeometryKey = QStringLiteral("Window/Geometry");
const QString SplitKey = QStringLiteral("Window/HistorySplit");

QSplitter *HistorySplitterOf(const QMainWindow *window) {
  return window->findChild<QSplitter *>(QStringLiteral("HistorySplitter"));
}

// The delivered split: the history group 140 pixels high, the tabs taking the
// rest. Set when the window is first shown, the first moment the splitter's
// height is known; a split from an earlier run is used instead.
class DeliveredSplit : public QObject {
public:
  explicit DeliveredSplit(QSplitter *splitter) : QObject(splitter), splitter_(splitter) {
    splitter->window()->installEventFilter(this);
  }
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Show && watched == splitter_->window()) {
      const int history = 140;
      splitter_->setSizes({splitter_->height() - history - splitter_->handleWidth(), history});
      deleteLater();
    }
    return false;
  }

private:
  QSplitter *splitter_;
};
} // namespace

void RestoreWindowState(QMainWindow *window) {
  const Preferences preferences(AppPaths::DataFolder());
  const QByteArray geometry = preferences.Bytes(GeometryKey);
  if (!geometry.isEmpty() && window->restoreGeometry(geometry))
    ScreenFit::FitIntoScreen(window); // stored on a larger screen, or at a smaller scale
  QSplitter *splitter = HistorySplitterOf(window);
  if (!splitter)
    return;
  const QByteArray split = preferences.Bytes(SplitKey);
  if (split.isEmpty() || !splitter->restoreState(split))
    new DeliveredSplit(splitter);
}

bool SaveWindowState(const QMainWindow *window) {
  Preferences preferences(AppPaths::DataFolder());
  // A damaged file is left alone rather than replaced by one holding only this.
  if (preferences.Damaged())
    return false;
  preferences.Set(GeometryKey, window->saveGeometry());
  if (const QSplitter *splitter = HistorySplitterOf(window))
    preferences.Set(SplitKey, splitter->saveState());
  return preferences.Save();
}
