#include "settings/DataFolder.h"

#include "settings/DbfFile.h"
#include "settings/ShippedTables.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

QString EnsureDataFolder(const QString &folder) {
  if (!QDir().mkpath(folder))
    return "Cannot create the data folder " + folder;
  const QDir dir(folder);
  RemoveAbandonedTemporaryFiles(dir.absolutePath().toStdString());
  const QStringList present = dir.entryList(QDir::Files);
  QStringList failures;
  for (const TShippedTable &table : ShippedTables()) {
    // the table is found whatever the case of its name, as the store finds it
    bool exists = false;
    for (const QString &file : present)
      exists = exists || file.compare(table.fileName, Qt::CaseInsensitive) == 0;
    if (exists)
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
  const QString copy = table.absolutePath() + '/' + table.completeBaseName() + QStringLiteral("-kept-") +
                       stamp + '.' + table.suffix();
  // The copy is of the file linked to, should the table be a link.
  return QFile::copy(table.canonicalFilePath(), copy) ? QFileInfo(copy).fileName() : QString();
}
