#include "app/help/UserGuide.h"

#include "base/AppPaths.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

namespace {
const char HtmlGuide[] = "doc/user-guide.html";

// The folder the program was started from as it was named, which a link to
// the program may put elsewhere than the program's own folder.
QString StartedFolder() {
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.isEmpty() || !arguments.first().contains('/'))
    return {};
  return QFileInfo(arguments.first()).absolutePath() + '/';
}

// The desktop's program for files of the guide's kind: false when there is
// none or it runs in a terminal (a text browser, an editor), which the
// desktop would start without a terminal to show it in. Without the
// freedesktop tools to ask, the desktop is left to try.
bool GraphicalViewerFor(const QString &file) {
  const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (query.isEmpty())
    return true;
  QProcess mime;
  mime.start(query, {QStringLiteral("query"), QStringLiteral("default"),
                     QMimeDatabase().mimeTypeForFile(file).name()});
  if (!mime.waitForFinished(5000) || mime.exitCode() != 0)
    return false;
  const QString entry = QString::fromUtf8(mime.readAllStandardOutput()).trimmed();
  const QString path =
      entry.isEmpty() ? QString() : QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry);
  QFile desktopEntry(path);
  if (path.isEmpty() || !desktopEntry.open(QIODevice::ReadOnly))
    return false;
  static const QRegularExpression terminal(QStringLiteral("^Terminal\\s*=\\s*true\\s*$"),
                                           QRegularExpression::MultilineOption);
  return !terminal.match(QString::fromUtf8(desktopEntry.readAll())).hasMatch();
}
} // namespace

QString UserGuidePath() {
  const QStringList candidates = {AppPaths::DataFolder() + QStringLiteral("DravoUserGuide.CHM"),
                                  AppPaths::ProgramFolder() + HtmlGuide,
                                  AppPaths::ProgramFolder() + QStringLiteral("../") + HtmlGuide,
                                  StartedFolder().isEmpty() ? QString() : StartedFolder() + HtmlGuide,
                                  AppPaths::SharedFolder() + HtmlGuide};
  for (const QString &path : candidates)
    if (!path.isEmpty() && QFileInfo(path).isFile())
      return QDir::cleanPath(path);
  return {};
}

GuideOpening OpenUserGuide() {
  // The desktop may report success for a file that is not there, so the
  // file is looked for first.
  const QString guide = UserGuidePath();
  if (guide.isEmpty())
    return GuideOpening::NoGuide;
  if (!GraphicalViewerFor(guide))
    return GuideOpening::NoViewer;
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(guide)))
    return GuideOpening::Opened;
  // Platforms without desktop services (a panel PC's framebuffer, offscreen)
  // still have the freedesktop opener when the desktop utilities are there.
  return QProcess::startDetached(QStringLiteral("xdg-open"), {guide}) ? GuideOpening::Opened
                                                                      : GuideOpening::Failed;
}

QString AboutText() {
  const QString guide = UserGuidePath();
  return QStringLiteral("Vossek Drive Desk 1.0\n\nData folder: %1\nUser guide: %2")
      .arg(QDir::toNativeSeparators(AppPaths::DataFolder()),
           guide.isEmpty() ? QStringLiteral("not installed") : QDir::toNativeSeparators(guide));
}
