// Wiring of the subsystems that are not connected yet. Each subsystem moves
// its Wire... routine into its own folder when its handlers land; this file
// disappears when the last one has moved.
#include "app/MainWindow.h"

void TForm1::WireCommunication() {}
void TForm1::WireSequences() {}
void TForm1::WireSettings() {}
