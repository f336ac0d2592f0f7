#pragma once

// What this process costs, for the benchmark programs.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <sys/resource.h>
#include <unistd.h>

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

// CPU seconds (user and system) of a /proc stat file: /proc/PID/stat for a
// process, /proc/self/task/TID/stat for a thread; 0 when it cannot be read.
inline double StatCpuSeconds(const QString &path) {
  QFile stat(path);
  if (!stat.open(QIODevice::ReadOnly))
    return 0;
  const QByteArray text = stat.readAll();
  const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
  // after the name: state is field 0, utime field 11, stime field 12
  if (fields.size() < 13)
    return 0;
  return (fields[11].toDouble() + fields[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}
