#include "app/PacingGate.h"

PacingGate::PacingGate(int intervalMs, std::function<void()> due, QObject *parent)
    : QObject(parent), intervalMs_(intervalMs) {
  due_.setSingleShot(true);
  connect(&due_, &QTimer::timeout, this, std::move(due));
}

bool PacingGate::Pass() {
  const qint64 since = sincePassed_.isValid() ? sincePassed_.elapsed() : intervalMs_;
  if (since >= intervalMs_) {
    Passed();
    return true;
  }
  if (!due_.isActive())
    due_.start(static_cast<int>(intervalMs_ - since));
  return false;
}

void PacingGate::Passed() {
  due_.stop();
  sincePassed_.start();
}
