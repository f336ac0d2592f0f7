#include "settings/DataFolder.h"

#include "settings/DbfFile.h"
#include "settings/ShippedTables.h"

#include <QDir>

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
