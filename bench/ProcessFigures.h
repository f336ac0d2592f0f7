#pragma once

// What this process costs, for the benchmark programs.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

// CPU time (user and system) used by the process so far, in seconds.
inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// User and system CPU seconds of the calling thread.
struct UserSystemSeconds {
  double user = 0, system = 0;
};
inline UserSystemSeconds ThisThreadUserSystem() {
  rusage usage{};
  if (getrusage(RUSAGE_THREAD, &usage) != 0)
    return {};
  return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
          usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6};
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

// CPU seconds of one thread of this process, to the nanosecond (a /proc stat
// file counts in clock ticks, too coarse for a run of a few hundred
// requests); 0 when unknown. The clock id is the kernel's own for a thread:
// its id inverted, shifted, with the per-thread and scheduler-time bits.
inline double ThreadCpuSeconds(long tid) {
  if (tid <= 0)
    return 0;
  const auto clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
  timespec now{};
  if (clock_gettime(clock, &now) != 0)
    return 0;
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
