#include "app/help/UserGuide.h"

#include "base/AppPaths.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {
const char HtmlGuide[] = "doc/user-guide.html";
}

QString UserGuidePath() {
  const QStringList candidates = {AppPaths::DataFolder() + QStringLiteral("DravoUserGuide.CHM"),
                                  AppPaths::ProgramFolder() + HtmlGuide,
                                  AppPaths::SharedFolder() + HtmlGuide};
  for (const QString &path : candidates)
    if (QFileInfo(path).isFile())
      return QDir::cleanPath(path);
  return {};
}

bool OpenUserGuide() {
  // The desktop may report success for a file that is not there, so the
  // file is looked for first.
  const QString guide = UserGuidePath();
  if (guide.isEmpty())
    return false;
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(guide)))
    return true;
  // Platforms without desktop services (a panel PC's framebuffer, offscreen)
  // still have the freedesktop opener when the desktop utilities are there.
  return QProcess::startDetached(QStringLiteral("xdg-open"), {guide});
}

QString AboutText() {
  const QString guide = UserGuidePath();
  return QStringLiteral("Vossek Drive Desk 1.0\n\nData folder: %1\nUser guide: %2")
      .arg(QDir::toNativeSeparators(AppPaths::DataFolder()),
           guide.isEmpty() ? QStringLiteral("not installed") : QDir::toNativeSeparators(guide));
}
