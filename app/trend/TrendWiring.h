#pragma once

class TForm1;

// The trend of the main window: a store fed by every decoded status reply
// from the start of the run, and the "Trend" window that "Tool" > "Trend"
// shows.
void WireTrend(TForm1 *form);
