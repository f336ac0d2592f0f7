#pragma once

#include <QDateTime>
#include <QString>

// An exchange's time as the history and the traffic log write it. Their
// lines are made at line rate, thousands a second, and working a date and
// a time of day out of an instant costs more than the rest of a line: so a
// second's text is made once, and each line adds only its milliseconds.
namespace TimeStampText {

// "[yyyy-MM-dd HH:mm:ss:zzz]", the history's, made or appended to `line`.
constexpr int HistoryLength = 25;
QString History(const QDateTime &at);
void AppendHistory(QString &line, const QDateTime &at);
// "yyyy-MM-dd HH:mm:ss.zzz", the traffic log's, appended to `line`; nothing
// for an invalid time.
void AppendLog(QString &line, const QDateTime &at);

} // namespace TimeStampText
