#pragma once

class TForm1;

// "Tool" > "Find Drives…": the window that searches for drives, made when it
// is first asked for. The main window lets go of its port while a search
// runs and takes it back after; "Use these settings" opens "ProtocolSettings"
// with the drive's line settings and shows its address as the drive address,
// for the user to confirm with "OK".
void WireFindDrives(TForm1 *form);
