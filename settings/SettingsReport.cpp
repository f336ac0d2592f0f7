#include "settings/SettingsReport.h"

#include "settings/TableStore.h"

const QString SettingsReportIntro =
    QStringLiteral("Some settings could not be read; the initial values are used for them.");

QString ReadSettingsTable(TTableQuery &query, const QString &table,
                          const std::function<void(QStringList &problems)> &read) {
  QStringList problems;
  try {
    read(problems);
  } catch (const std::exception &error) {
    query.Close();
    problems << QString::fromLocal8Bit(error.what());
  }
  if (problems.isEmpty())
    return {};
  return table + QStringLiteral(": ") + problems.join(QStringLiteral("; "));
}
