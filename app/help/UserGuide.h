#pragma once

#include <QString>

// Which user guide the Help command opens: the compiled guide
// "DravoUserGuide.CHM" when the data folder holds one, otherwise the HTML
// guide that ships with the program (in doc/ beside it or beside its
// folder, as a copy of the build folder has it, or installed in the shared
// folder). Empty when there is neither.
QString UserGuidePath();

enum class GuideOpening {
  Opened,
  NoGuide,  // neither guide is there
  NoViewer, // the desktop has no graphical program for it
  Failed,   // the desktop could not open it
};
// Opens the guide with the desktop's viewer, unless the desktop's program
// for its kind of file runs in a terminal (or there is none).
GuideOpening OpenUserGuide();

// The text of the "About" box: program and version, and the folders in use.
QString AboutText();
