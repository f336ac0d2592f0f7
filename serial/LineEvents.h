#pragma once

#include <cstdint>

// The driver's running counts of line events (as a serial driver keeps them
// for TIOCGICOUNT). Comparing two readings tells which events happened in
// between.
struct TLineCounters {
  int Carrier = 0;
  int Ring = 0;
  int Frame = 0;
  int Overrun = 0;
  int Parity = 0;
  int Break = 0;
  int BufferOverrun = 0;
};

struct TLineEvents {
  std::uint32_t Errors = 0;      // CommError... flags
  std::uint32_t ModemEvents = 0; // ModemEvent... bits
};

TLineEvents LineEventsBetween(const TLineCounters &before, const TLineCounters &after);
