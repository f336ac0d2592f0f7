#pragma once

#include <QList>
#include <QStringList>

// The texts of a grid, row by row with the title row first. Rows may be
// shorter than the grid is wide; a missing cell reads as an empty text.
using TextTable = QList<QStringList>;
