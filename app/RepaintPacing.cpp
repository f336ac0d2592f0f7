#include "app/RepaintPacing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

RepaintPacer::RepaintPacer(QWidget *window, std::function<bool()> active, int intervalMs)
    : QObject(window), window_(window), active_(std::move(active)),
      // Qt asks for no repaint while one it asked for is still due, so the
      // one held back must be asked for again.
      gate_(intervalMs, [window] {
        QCoreApplication::postEvent(window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
      }) {
  window->installEventFilter(this);
}

bool RepaintPacer::eventFilter(QObject *watched, QEvent *event) {
  if (watched != window_ || event->type() != QEvent::UpdateRequest)
    return false;
  if (!active_()) {
    gate_.Passed();
    return false;
  }
  return !gate_.Pass();
}
