#pragma once

#include "app/PacingGate.h"

#include <QObject>
#include <functional>

class QWidget;

// Paints a window at most once per interval while `active` says so. When
// replies are handled as soon as they are complete, hundreds of exchanges a
// second each change the grid, the history, lamps and labels, and Qt paints
// the window after each; nobody sees more than a few dozen frames a second,
// and painting them all costs more than the exchanges. A repaint that comes
// too soon is held back and made when the interval is over, with everything
// that changed in between.
class RepaintPacer : public QObject {
public:
  RepaintPacer(QWidget *window, std::function<bool()> active, int intervalMs);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  QWidget *window_;
  std::function<bool()> active_;
  PacingGate gate_;
};
