#pragma once

// Colours are 24-bit values with red in the low byte (255 is pure red).
namespace LampColor {
constexpr int Off = 0xFFFFFF;   // white
constexpr int Green = 0x00FF00; // RUN, FWD, REV, JOG
constexpr int Olive = 0x008080; // STOP
constexpr int Red = 0x0000FF;   // FAULT, COM ERROR
} // namespace LampColor
