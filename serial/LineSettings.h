#pragma once

#include <cstdint>

#include <termios.h>

// The line settings of a serial port as the rest of the program knows them,
// and their translation into the POSIX terminal settings of the device.

enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize { _5, _6, _7, _8 };
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

struct TLineSettings {
  std::uint32_t BaudRate = 9600;
  bool ParityCheck = false;
  bool Outx_CtsFlow = false;
  bool Outx_DsrFlow = false;
  TDtrControl DtrControl = TDtrControl::DtrDisable;
  bool DsrSensitivity = false;
  bool TxContinueOnXoff = false;
  bool Outx_XonXoffFlow = false;
  bool Inx_XonXoffFlow = false;
  bool ReplaceWhenParityError = false;
  bool IgnoreNullChar = false;
  TRtsControl RtsControl = TRtsControl::RtsDisable;
  std::uint16_t XonLimit = 500;
  std::uint16_t XoffLimit = 500;
  TByteSize ByteSize = TByteSize::_8;
  TParity Parity = TParity::None;
  TStopBits StopBits = TStopBits::_1;
  char XonChar = 17;
  char XoffChar = 19;
  char ReplacedChar = 0;

  bool operator==(const TLineSettings &) const = default;
};

// The speed constant for a rate in bits per second, or B0 when the terminal
// interface has no constant for it.
speed_t BaudConstant(std::uint32_t baudRate);
// The rate in bits per second of a speed constant; 0 for one not known.
std::uint32_t BaudRateOf(speed_t constant);

// Rewrites `tio` for the given settings: raw mode (no echo, no line editing,
// no character translation), receiver on, modem status lines ignored for
// opening and reading, then size, parity, stop bits and flow control. Fields
// the settings do not govern keep their values. An unknown rate leaves the
// speed unchanged.
//
// The terminal interface has no counterpart for DSR flow control and DSR
// sensitivity, for continuing after XOFF, for the XON/XOFF limits, for
// dropping zero bytes or for a replacement character other than zero; those
// settings are kept but do not change the device.
void ToTermios(const TLineSettings &settings, termios &tio);

// What the DTR and RTS output lines should be while the port is open. Lines
// under handshake are driven by the driver (RTS with hardware flow control) or
// simply raised (DTR: the terminal interface has no DTR handshake).
struct TModemLines {
  bool Dtr = false;
  bool Rts = false;
  // RTS is left alone because the driver drives it (hardware flow control or
  // RS-485 transmit toggling).
  bool RtsByDriver = false;
};
TModemLines ModemLinesFor(const TLineSettings &settings);
