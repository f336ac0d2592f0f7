#pragma once

class QMainWindow;

// The main window's size and position and the split between its tabs and
// its history pane, kept in the data folder's preferences
// ("Window/Geometry", "Window/HistorySplit") from one run to the next. Nothing stored,
// or a value that does not restore, leaves the window as it was laid out.
void RestoreWindowState(QMainWindow *window);
// False when the preferences could not be written.
bool SaveWindowState(const QMainWindow *window);
