#pragma once

class QMainWindow;

// The main window's size and position, kept in the data folder's
// preferences ("Window/Geometry") from one run to the next. Nothing stored,
// or a value that does not restore, leaves the window as it was laid out.
void RestoreWindowState(QMainWindow *window);
// False when the preferences could not be written.
bool SaveWindowState(const QMainWindow *window);
