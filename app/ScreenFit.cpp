#include "app/ScreenFit.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {
const QScreen *ScreenOf(const QWidget *window) {
  if (const QScreen *screen = QGuiApplication::screenAt(window->geometry().center()))
    return screen;
  return window->screen() ? window->screen() : QGuiApplication::primaryScreen();
}

// The decoration a window manager puts around the window: known once the
// window is shown, none before.
QMargins FrameOf(const QWidget *window) {
  const QRect frame = window->frameGeometry();
  const QRect inner = window->geometry();
  return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
          frame.bottom() - inner.bottom()};
}

class ShowWatcher : public QObject {
public:
  explicit ShowWatcher(QWidget *window) : QObject(window) { window->installEventFilter(this); }
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Show && watched == parent()) {
      auto *window = static_cast<QWidget *>(watched);
      ScreenFit::FitIntoScreen(window);
      // the frame a window manager adds is known only after the window is up
      QPointer<QWidget> shown(window);
      QTimer::singleShot(0, this, [shown] {
        if (shown && shown->isVisible())
          ScreenFit::FitIntoScreen(shown);
      });
    }
    return false;
  }
};
} // namespace

namespace ScreenFit {
void FitIntoScreen(QWidget *window) {
  const QScreen *screen = ScreenOf(window);
  if (!screen || window->isMaximized() || window->isFullScreen())
    return;
  const QMargins frame = FrameOf(window);
  const QRect screenRoom = screen->availableGeometry();
  // A window the user left with its border a little past the edge stays
  // where it is, as long as its content and its title bar are on the screen.
  if (screenRoom.contains(window->geometry()) && window->frameGeometry().top() >= screenRoom.top() &&
      window->frameGeometry().width() <= screenRoom.width() &&
      window->frameGeometry().height() <= screenRoom.height())
    return;
  const QRect room = screenRoom.marginsRemoved(frame);
  QRect placed = window->geometry();
  placed.setSize(placed.size().boundedTo(room.size()).expandedTo(window->minimumSize()));
  placed.moveLeft(
      std::clamp(placed.left(), room.left(), std::max(room.left(), room.right() - placed.width() + 1)));
  placed.moveTop(
      std::clamp(placed.top(), room.top(), std::max(room.top(), room.bottom() - placed.height() + 1)));
  if (placed != window->geometry())
    window->setGeometry(placed);
}

void PlaceOnScreen(QWidget *window, int width, int height, const QWidget *owner) {
  window->resize(width, height);
  const QScreen *screen = owner ? ScreenOf(owner) : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  const QRect room = screen->availableGeometry();
  const QSize size = window->size().boundedTo(room.size());
  const QPoint centre = owner ? owner->geometry().center() : room.center();
  window->setGeometry(QRect(centre - QPoint(size.width() / 2, size.height() / 2), size));
  FitIntoScreen(window);
}

void KeepOnScreen(QWidget *window) { new ShowWatcher(window); }

QScrollArea *Scrolling(QWidget *form, QWidget *parent) {
  auto *area = new QScrollArea(parent);
  area->setObjectName(form->objectName().isEmpty() ? QStringLiteral("FormScroller")
                                                   : form->objectName() + QStringLiteral("Scroller"));
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setWidget(form);
  return area;
}
} // namespace ScreenFit
