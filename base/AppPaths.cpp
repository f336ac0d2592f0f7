#include "base/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString &Override() {
  static QString folder;
  return folder;
}

QString &ChosenDataFolder() {
  static QString folder;
  return folder;
}

bool IsWritableFolder(const QString &path) {
  const QFileInfo info(path);
  return info.isDir() && info.isWritable();
}

QString ChooseDataFolder() {
  const QString beside = AppPaths::ProgramFolder() + QStringLiteral("database1/");
  // A data folder the user already keeps beside the program stays in use.
  if (IsWritableFolder(beside))
    return beside;
  // An installed program never puts data beside itself, not even when it
  // could (root may write /usr/bin); a copy of the build folder does.
  const bool installed = QFileInfo(AppPaths::TemplateFolder()).isDir();
  if (!installed && !QFileInfo::exists(beside) && IsWritableFolder(AppPaths::ProgramFolder()))
    return beside;
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/vossek-drive-desk/database1/");
}
} // namespace

namespace AppPaths {
QString ProgramFolder() {
  QString folder = Override().isEmpty() ? QCoreApplication::applicationDirPath() : Override();
  if (!folder.endsWith('/'))
    folder += '/';
  return folder;
}

void SetProgramFolder(const QString &folder) {
  Override() = folder;
  ChosenDataFolder().clear();
}

QString DataFolder() {
  // Chosen once: the folder must not move while the program runs, even if
  // the data folder beside it is made in the meantime.
  if (ChosenDataFolder().isEmpty())
    ChosenDataFolder() = ChooseDataFolder();
  return ChosenDataFolder();
}

QString SharedFolder() {
  return QDir::cleanPath(ProgramFolder() + QStringLiteral("../share/vossek-drive-desk")) + '/';
}

QString TemplateFolder() { return SharedFolder() + QStringLiteral("database1/"); }
} // namespace AppPaths
