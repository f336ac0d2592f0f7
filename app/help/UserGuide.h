#pragma once

#include <QString>

// Which user guide the Help command opens: the compiled guide
// "DravoUserGuide.CHM" when the data folder holds one, otherwise the HTML
// guide that ships with the program (beside it in doc/, or installed in the
// shared folder). Empty when there is neither.
QString UserGuidePath();

// Opens the guide with the desktop's viewer; false when there is none or the
// desktop could not open it.
bool OpenUserGuide();

// The text of the "About" box: program and version, and the folders in use.
QString AboutText();
