#include "app/RepaintPacing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

RepaintPacer::RepaintPacer(QWidget *window, std::function<bool()> active, int intervalMs)
    : QObject(window), window_(window), active_(std::move(active)), intervalMs_(intervalMs) {
  held_.setSingleShot(true);
  // Qt asks for no repaint while one it asked for is still due, so the one
  // held back must be asked for again.
  connect(&held_, &QTimer::timeout, this, [this] {
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
  });
  window->installEventFilter(this);
}

bool RepaintPacer::eventFilter(QObject *watched, QEvent *event) {
  if (watched != window_ || event->type() != QEvent::UpdateRequest)
    return false;
  if (active_() && sincePainted_.isValid() && sincePainted_.elapsed() < intervalMs_) {
    if (!held_.isActive())
      held_.start(static_cast<int>(intervalMs_ - sincePainted_.elapsed()));
    return true;
  }
  held_.stop();
  sincePainted_.start();
  return false;
}
