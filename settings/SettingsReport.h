#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class TTableQuery;

// The words before the reports of every settings table that could not be
// read whole.
extern const QString SettingsReportIntro;

// Runs `read`, which reads one settings table on `query` and notes each value
// it cannot read ("record 2, TX610: ..."). Returns what the user is told of
// that table: its name and the notes ("com_pro.dbf: record 2, TX610: ...;
// ..."), or the store's error when the table cannot be opened at all (the
// query is then closed). Empty when everything was read.
QString ReadSettingsTable(TTableQuery &query, const QString &table,
                          const std::function<void(QStringList &problems)> &read);
