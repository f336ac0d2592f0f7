#include "serial/LowLatency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

LowLatency RequestLowLatency(int fd) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0)
    return LowLatency::NotOffered;
  if (serial.flags & ASYNC_LOW_LATENCY)
    return LowLatency::AlreadySet;
  serial.flags |= ASYNC_LOW_LATENCY;
  if (ioctl(fd, TIOCSSERIAL, &serial) != 0)
    return LowLatency::Refused;
  // The driver may keep the call and drop the flag: what it holds now tells.
  serial_struct now{};
  if (ioctl(fd, TIOCGSERIAL, &now) != 0 || !(now.flags & ASYNC_LOW_LATENCY))
    return LowLatency::Refused;
  return LowLatency::Set;
}

QString LowLatencyWords(LowLatency state) {
  switch (state) {
  case LowLatency::Set:
  case LowLatency::AlreadySet:
    return QStringLiteral("low-latency delivery: on");
  case LowLatency::Refused:
    return QStringLiteral("low-latency delivery: refused by the driver (replies may come in packets)");
  case LowLatency::NotOffered:
    return QStringLiteral("low-latency delivery: not offered by this device");
  case LowLatency::NotAsked:
    break;
  }
  return {};
}
