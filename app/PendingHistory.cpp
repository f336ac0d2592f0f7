#include "app/PendingHistory.h"

void PendingHistory::DropFirst(int paneLines) {
  if (dropped_ < paneLines)
    ++dropped_;
  else if (!waiting_.empty())
    waiting_.pop_front();
}

bool PendingHistory::CompleteLast(const QString &suffix, bool black, int lineLimit, const QString &fullNote) {
  if (waiting_.empty())
    return false;
  Line &last = waiting_.back();
  const qsizetype room = lineLimit - last.text.size();
  if (room > 0)
    last.text += suffix.size() > room ? suffix.left(room) + fullNote : suffix;
  if (black)
    last.color = 0;
  return true;
}
