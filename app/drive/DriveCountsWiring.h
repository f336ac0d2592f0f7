#pragma once

class TForm1;

// Counts the exchanges per drive address into the motor status table.
void WireDriveCounts(TForm1 *form);
