#pragma once

// Header only: the line noise benchmark uses it too, without the test library.
#include "app/MainWindow.h"

#include <algorithm>

// The length of the longest line of the history pane, in characters.
inline int LongestHistoryLine() {
  int longest = 0;
  for (int line = 0; line < Form1->HistoryLineCount(); ++line)
    longest = std::max<int>(longest, Form1->HistoryLine(line).size());
  return longest;
}
