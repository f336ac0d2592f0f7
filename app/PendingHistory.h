#pragma once

#include <QString>
#include <deque>

// History lines that the pane does not show yet. At line rate a request and
// its reply pass many times between two frames of the screen, and laying out
// and painting the pane for each line costs more than the exchange itself;
// so the lines wait here and go into the pane together. To whoever reads the
// history, the lines the pane shows (less those already dropped from its
// top) followed by the waiting ones are one list.
class PendingHistory {
public:
  struct Line {
    QString text;
    int color; // BGR; one colour for the whole line
  };

  // Lines of the pane's top that are gone, and lines that wait to be added.
  int DroppedFromPane() const { return dropped_; }
  const std::deque<Line> &Waiting() const { return waiting_; }
  bool Empty() const { return dropped_ == 0 && waiting_.empty(); }

  // The list's length when the pane shows `paneLines` lines.
  int Count(int paneLines) const { return paneLines - dropped_ + static_cast<int>(waiting_.size()); }

  void Append(const QString &text, int color) {
    waiting_.push_back({text, color});
    ++appended_;
  }
  // Whether the last waiting line may wait for one more batch, as it still
  // awaits its reply: once per line. Completing a line the pane shows lays
  // out the pane again, which at line rate would cost a layout per batch.
  bool HoldBackLast() {
    if (waiting_.empty() || heldBack_ == appended_)
      return false;
    heldBack_ = appended_;
    return true;
  }
  // The first line of the list, whether the pane shows it or it waits.
  void DropFirst(int paneLines);
  // Completes the last waiting line as the pane completes its own last line:
  // the text takes the line's colour and stops at `lineLimit` characters with
  // `fullNote`; black turns the whole line black. False when no line waits.
  bool CompleteLast(const QString &suffix, bool black, int lineLimit, const QString &fullNote);

  // Everything has gone into the pane, or was cleared with it; with
  // `keepLast`, all but the last waiting line.
  void Clear(bool keepLast = false) {
    dropped_ = 0;
    if (keepLast && !waiting_.empty())
      waiting_.erase(waiting_.begin(), waiting_.end() - 1);
    else
      waiting_.clear();
  }

private:
  int dropped_ = 0;
  std::deque<Line> waiting_;
  long long appended_ = 0; // lines ever appended, naming the last one
  long long heldBack_ = -1;
};
