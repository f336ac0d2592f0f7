#include "settings/DataFolder.h"

#include "settings/DbfFile.h"
#include "settings/ShippedTables.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
// The file of `dir` named `name` whatever its case, as the store finds it;
// empty when there is none.
QString FileNamed(const QDir &dir, const QStringList &files, const QString &name) {
  for (const QString &file : files)
    if (file.compare(name, Qt::CaseInsensitive) == 0)
      return dir.filePath(file);
  return {};
}

// Copies a template table under a temporary name first, so that a copy cut
// short never stands as the table. The copy is the user's to change, whatever
// the template's permissions.
bool CopyTemplate(const QString &source, const QString &target) {
  const QString partial = target + QStringLiteral(".copying");
  QFile::remove(partial);
  if (!QFile::copy(source, partial))
    return false;
  QFile::setPermissions(partial, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  if (QFile::rename(partial, target))
    return true;
  QFile::remove(partial);
  return false;
}
} // namespace

QString EnsureDataFolder(const QString &folder, const QString &templateFolder) {
  if (!QDir().mkpath(folder))
    return "Cannot create the data folder " + folder;
  const QDir dir(folder);
  RemoveAbandonedTemporaryFiles(dir.absolutePath().toStdString());
  const QStringList present = dir.entryList(QDir::Files);
  const QDir templates(templateFolder);
  const QStringList templateFiles =
      templateFolder.isEmpty() ? QStringList() : templates.entryList(QDir::Files | QDir::Readable);
  QStringList failures;
  for (const TShippedTable &table : ShippedTables()) {
    if (!FileNamed(dir, present, table.fileName).isEmpty())
      continue;
    const QString source = FileNamed(templates, templateFiles, table.fileName);
    if (!source.isEmpty() && CopyTemplate(source, dir.filePath(table.fileName)))
      continue;
    try {
      table.create(dir.absolutePath().toStdString(), false);
    } catch (const ETableStoreError &e) {
      failures << QString::fromStdString(e.what());
    }
  }
  if (failures.isEmpty())
    return {};
  return "The data folder " + folder + " is incomplete:\n" + failures.join("\n");
}

QString KeepCopyOfTable(const QString &tablePath) {
  const QFileInfo table(tablePath);
  if (!table.exists())
    return {};
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  const QString stem =
      table.absolutePath() + '/' + table.completeBaseName() + QStringLiteral("-kept-") + stamp;
  QString copy = stem + '.' + table.suffix();
  for (int n = 2; QFileInfo::exists(copy); ++n) // never over an earlier copy
    copy = stem + '-' + QString::number(n) + '.' + table.suffix();
  // The copy is of the file linked to, should the table be a link.
  return QFile::copy(table.canonicalFilePath(), copy) ? QFileInfo(copy).fileName() : QString();
}
