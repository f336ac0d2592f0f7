#include "params/RunEnding.h"

namespace {
QString Count(long long n, const char *one, const char *many) {
  return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}
} // namespace

QString RunEndingMessage(const QString &finished, const RunTally &atStart, const RunTally &atEnd,
                         const QStringList &lateNotes) {
  const long long accepted = atEnd.accepted - atStart.accepted;
  const long long rejected = atEnd.rejected - atStart.rejected;
  const long long missed = atEnd.missed - atStart.missed;
  const long long late = atEnd.late - atStart.late;
  const int retried = atEnd.retried - atStart.retried;
  if (rejected == 0 && missed == 0 && late == 0 && retried == 0 && lateNotes.isEmpty())
    return finished;
  QString told = finished + QLatin1Char('\n') + Count(accepted, "reply taken", "replies taken") + ", " +
                 Count(rejected + missed, "failed", "failed") + " (" +
                 Count(rejected, "error reply", "error replies") + ", " +
                 Count(missed, "time-out", "time-outs") + "), " +
                 Count(retried, "record asked again", "records asked again") + ", " +
                 Count(late, "late reply seen", "late replies seen") + '.';
  for (const QString &note : lateNotes)
    told += QLatin1Char('\n') + note.left(1).toUpper() + note.mid(1) + '.';
  return told;
}
