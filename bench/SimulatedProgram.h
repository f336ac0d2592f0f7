#pragma once

// The program's folder for a benchmark: a temporary folder with the
// delivered tables, and the drive simulator's line linked there as "COM2".

#include "base/AppPaths.h"
#include "settings/DataFolder.h"
#include "sim/DriveSimulator.h"
#include "sim/PseudoTerminal.h"

#include <QTemporaryDir>
#include <cstdio>
#include <string>

// False, after saying why on stderr, when the folder or the line fails.
inline bool PrepareSimulatedProgram(const QTemporaryDir &folder, DriveSimulator &sim) {
  AppPaths::SetProgramFolder(folder.path());
  const QString data = AppPaths::DataFolder();
  if (!EnsureDataFolder(data).isEmpty()) {
    std::fprintf(stderr, "data folder %s could not be prepared\n", qPrintable(data));
    return false;
  }
  std::string error;
  if (!sim.Start() || !CreateSymlink(sim.SlavePath(), (data + "ports/COM2").toStdString(), error)) {
    std::fprintf(stderr, "simulator: %s%s\n", sim.Error().c_str(), error.c_str());
    return false;
  }
  return true;
}
