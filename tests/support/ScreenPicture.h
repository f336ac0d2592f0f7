#pragma once

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>

// Saves the whole screen as the user sees it, the windows where they stand,
// into `folder`; only on a display of windows (a virtual one under
// xvfb-run), as offscreen there is no screen to picture. False when a
// picture was due and could not be saved.
inline bool SaveScreenPicture(const QString &folder, const QString &name) {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    return true;
  QScreen *screen = QGuiApplication::primaryScreen();
  return screen && screen->grabWindow(0).save(QDir(folder).filePath(name));
}
