#pragma once

class TForm1;

// The traffic log of the main window: every exchange its history pane shows,
// "Open log folder" in the pane's pop-up menu, and a note in the status bar
// when the log cannot be written.
void WireTrafficLog(TForm1 *form);
