#include "app/drive/StatusDisplayPacing.h"

StatusDisplayPacing::StatusDisplayPacing(std::function<bool()> paced, std::function<void(int address)> show,
                                         int intervalMs, QObject *parent)
    : QObject(parent), paced_(std::move(paced)), show_(std::move(show)),
      gate_(intervalMs, [this] { ShowWaiting(); }) {}

void StatusDisplayPacing::Decoded(int address) {
  if (!paced_()) {
    waiting_.erase(address);
    show_(address);
    return;
  }
  waiting_.insert(address);
  if (gate_.Pass())
    ShowWaiting();
}

void StatusDisplayPacing::ShowWaiting() {
  gate_.Passed();
  // Taken before any is shown: showing one may bring a newer status in.
  const std::set<int> waiting = std::exchange(waiting_, {});
  for (const int address : waiting)
    show_(address);
}
