#include "app/WindowState.h"

#include "app/AppPaths.h"
#include "settings/Preferences.h"

#include <QMainWindow>

namespace {
const QString GeometryKey = QStringLiteral("Window/Geometry");
}

void RestoreWindowState(QMainWindow *window) {
  const QByteArray geometry = Preferences(AppPaths::DataFolder()).Bytes(GeometryKey);
  if (!geometry.isEmpty())
    window->restoreGeometry(geometry);
}

bool SaveWindowState(const QMainWindow *window) {
  Preferences preferences(AppPaths::DataFolder());
  // A damaged file is left alone rather than replaced by one holding only this.
  if (preferences.Damaged())
    return false;
  preferences.Set(GeometryKey, window->saveGeometry());
  return preferences.Save();
}
