#pragma once

// What this process costs, for the benchmark programs.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <sys/resource.h>

// CPU time (user and system) used by the process so far, in seconds.
inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A figure of /proc/self/status given in kB ("VmRSS:"), in MB; 0 when it
// cannot be read.
inline double StatusFigureMb(const QByteArray &name) {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly))
    return 0;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith(name))
      return line.mid(name.size()).trimmed().split(' ').first().toDouble() / 1024.0;
  return 0;
}

// Resident memory of the process, in MB.
inline double ResidentMb() { return StatusFigureMb("VmRSS:"); }

// The most resident memory the process has had so far, in MB.
inline double PeakResidentMb() { return StatusFigureMb("VmHWM:"); }
