#pragma once

#include "app/PacingGate.h"

#include <QObject>

#include <functional>
#include <set>

// Shows a drive's newest status at most once per interval while `paced` says
// so. A scan handled as soon as each reply is complete decodes thousands of
// statuses a second on a fast line; nobody reads more than a few of them,
// and writing every one into the fields and the table costs more than the
// exchange. A status that comes too soon waits, and when the interval is
// over the newest of each drive that waited is shown. Unpaced, each is shown
// at once.
class StatusDisplayPacing : public QObject {
public:
  StatusDisplayPacing(std::function<bool()> paced, std::function<void(int address)> show, int intervalMs,
                      QObject *parent);

  // A new status of the drive at `address` is there to be shown.
  void Decoded(int address);

private:
  void ShowWaiting();

  std::function<bool()> paced_;
  std::function<void(int)> show_;
  PacingGate gate_;
  std::set<int> waiting_; // drives whose newest status is not shown yet
};
