#pragma once

class QScrollArea;
class QWidget;

// Windows on a small screen or at a large scale factor: each opens inside
// the screen's available area, at its designed size where that fits and
// smaller otherwise, its form then scrolling rather than being cut.
namespace ScreenFit {
// Cuts the window's size to the room of the screen it opens on (its frame
// included, once known) and moves it onto that screen.
void FitIntoScreen(QWidget *window);
// The window at `width` x `height` where that fits, centred on `owner` (or
// on the screen without one), then fitted as above.
void PlaceOnScreen(QWidget *window, int width, int height, const QWidget *owner = nullptr);
// Fits the window each time it is shown, and again once its frame is known.
void KeepOnScreen(QWidget *window);
// A scroll area holding `form`: the form fills it where there is room and
// keeps at least its own minimum size, scrolled, where there is not.
QScrollArea *Scrolling(QWidget *form, QWidget *parent);
} // namespace ScreenFit
