#include "params/PacedFollow.h"

PacedFollow::PacedFollow(QObject *parent) : QObject(parent) {
  paced_.setSingleShot(true);
  connect(&paced_, &QTimer::timeout, this, &PacedFollow::Follow);
}

void PacedFollow::PaceWhile(std::function<bool()> pacing, int intervalMs) {
  pacing_ = std::move(pacing);
  paced_.setInterval(intervalMs);
}

void PacedFollow::Moved() {
  if (paced_.isActive())
    return; // the follow that waits takes the record as it is then
  if (pacing_ && pacing_()) {
    paced_.start();
    return;
  }
  emit Follow();
}
