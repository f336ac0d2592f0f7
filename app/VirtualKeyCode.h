#pragma once

// The numeric key code that the main window reports for a key pressed on it.
// Letters, digits, the space bar, the editing and navigation keys, the
// modifiers and the function keys get the classic virtual-key numbers of the
// PC keyboard (A = 65, 0 = 48, Enter = 13, Left = 37, F1 = 112, ...), which
// coincide with the ASCII codes where both exist; any other key reports the
// toolkit's own key code (Qt::Key) unchanged.
int VirtualKeyCode(int qtKey);
