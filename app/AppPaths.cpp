#include "app/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString &Override() {
  static QString folder;
  return folder;
}
} // namespace

namespace AppPaths {
QString ProgramFolder() {
  QString folder = Override().isEmpty() ? QCoreApplication::applicationDirPath() : Override();
  if (!folder.endsWith('/'))
    folder += '/';
  return folder;
}

void SetProgramFolder(const QString &folder) { Override() = folder; }

QString DataFolder() { return ProgramFolder() + "database1/"; }
} // namespace AppPaths
