#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// When a view follows something that may move very often (the grid's
// current cell following the function table's current record): at once,
// or, while `pacing` says so, at most once per interval. A move while a
// follow waits is taken by that follow, which looks where things stand when
// it comes; it neither follows at once nor puts the waiting one off.
class PacedFollow : public QObject {
  Q_OBJECT
public:
  explicit PacedFollow(QObject *parent = nullptr);

  void PaceWhile(std::function<bool()> pacing, int intervalMs);

  // The followed thing moved: Follow now, or let the follow that waits (or
  // one started now, while pacing) take it.
  void Moved();

signals:
  void Follow();

private:
  std::function<bool()> pacing_;
  QTimer paced_; // the follow that waits
};
