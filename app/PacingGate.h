#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Lets a display step happen at most once per interval. One that comes too
// soon is held back, and `due` is called once the interval is over, to make
// it then with everything that changed in between. The window's repaints and
// its status fields are paced by it while exchanges go at line rate.
class PacingGate : public QObject {
public:
  PacingGate(int intervalMs, std::function<void()> due, QObject *parent = nullptr);

  // True when the step may happen now (the interval starts from here);
  // false when it must wait for `due`.
  bool Pass();
  // The step happened now, whether it waited or not.
  void Passed();

private:
  int intervalMs_;
  QElapsedTimer sincePassed_;
  QTimer due_;
};
