#include "app/drive/StatusDisplayPacing.h"

StatusDisplayPacing::StatusDisplayPacing(std::function<bool()> paced, std::function<void(int address)> show,
                                         int intervalMs, QObject *parent)
    : QObject(parent), paced_(std::move(paced)), show_(std::move(show)), intervalMs_(intervalMs) {
  due_.setSingleShot(true);
  connect(&due_, &QTimer::timeout, this, &StatusDisplayPacing::ShowWaiting);
}

void StatusDisplayPacing::Decoded(int address) {
  if (!paced_()) {
    waiting_.erase(address);
    show_(address);
    return;
  }
  waiting_.insert(address);
  const qint64 since = sinceShown_.isValid() ? sinceShown_.elapsed() : intervalMs_;
  if (since >= intervalMs_)
    ShowWaiting();
  else if (!due_.isActive())
    due_.start(static_cast<int>(intervalMs_ - since));
}

void StatusDisplayPacing::ShowWaiting() {
  due_.stop();
  sinceShown_.start();
  // The handler may decode no more, but take the set first all the same.
  const std::set<int> waiting = std::exchange(waiting_, {});
  for (const int address : waiting)
    show_(address);
}
