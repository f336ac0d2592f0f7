#pragma once

#include <atomic>
#include <cstdint>

// How the read thread bundles incoming bytes, set from the creating thread
// while the port is open. Off (GapUs 0), each read's bytes are posted at
// once. On, bytes are held until what is awaited is in, the line has been
// quiet for GapUs, or they have been held for HoldLimitUs: one wake-up of the
// main thread per reply instead of one per byte of a line that delivers them
// one by one. While the rest of what is awaited is still on the line the
// thread sleeps for it (CharUs per byte) rather than waking for each byte.
struct TInputGathering {
  static constexpr std::uint32_t HoldLimitUs = 50'000;

  std::atomic<std::uint32_t> GapUs{0};
  std::atomic<std::uint32_t> CharUs{0};
  // What is awaited: Count bytes since the last block handed over (0: not
  // known), or up to a byte equal to EndByte (-1: none). ShortForm, when not
  // 0, names a shorter length that a flag announces: bits 0-7 the length,
  // 8-15 the position of the flag byte, 16-23 the flag's bits.
  std::atomic<std::uint32_t> Count{0};
  std::atomic<int> EndByte{-1};
  std::atomic<std::uint32_t> ShortForm{0};
  // No form of what is awaited is shorter than this (0: not known).
  std::atomic<std::uint32_t> Least{0};
};

// What completes the input awaited next; see TComm::ExpectInput.
struct TAwaitedInput {
  std::uint32_t Count = 0; // bytes (0: not known)
  int EndByte = -1;        // a byte that ends it (-1: none)
  // A shorter form of ShortCount bytes, announced when the byte at FlagAt has
  // one of FlagBits set (ShortCount 0: no such form).
  std::uint8_t ShortCount = 0;
  std::uint8_t FlagAt = 0;
  std::uint8_t FlagBits = 0;
  std::uint8_t LeastCount = 0; // no form is shorter (0: not known)
};
