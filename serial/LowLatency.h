#pragma once

#include <QString>

// A USB serial adapter hands received bytes over when its latency timer
// runs out (16 ms as most drivers deliver it). The driver's low-latency flag,
// where the device has one, asks for them at once (for an FTDI adapter, a
// latency timer of 1 ms), as `setserial low_latency` does.
enum class LowLatency {
  NotAsked,   // not a serial device (a TCP serial server)
  Set,        // taken now
  AlreadySet, // the driver had it
  Refused,    // the driver has the flag, but did not take it
  NotOffered, // the device has no such setting (a pseudo-terminal, some drivers)
};

// Asks the driver of the open device `fd`; never fails the port.
LowLatency RequestLowLatency(int fd);

// "low-latency delivery: on", "low-latency delivery: not offered by this device", ...
QString LowLatencyWords(LowLatency state);
