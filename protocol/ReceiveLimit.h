#pragma once

#include <cstddef>
#include <string>

// What one reply window keeps of the bytes it receives. The longest Modbus
// frame is 513 characters in ASCII and 256 bytes in RTU, so anything beyond
// the limit cannot be a reply: it is line noise (a device at the wrong baud
// rate, a meter that streams, a broken cable) and is counted, not kept. This
// keeps the work per received byte constant and the history line short
// however much arrives.
namespace ReceiveLimit {

constexpr std::size_t WindowBytes = 600;

// How many of `incoming` bytes a window that already holds `held` bytes keeps.
std::size_t Kept(std::size_t held, std::size_t incoming);

// The note that ends a cut reply in the history: " ... 10,240 more bytes".
std::string CutNote(std::size_t dropped);

} // namespace ReceiveLimit
