#include "serial/LineSettings.h"

namespace {
struct RateConstant {
  std::uint32_t rate;
  speed_t constant;
};

constexpr RateConstant kRates[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

tcflag_t SizeFlag(TByteSize size) {
  switch (size) {
  case TByteSize::_5:
    return CS5;
  case TByteSize::_6:
    return CS6;
  case TByteSize::_7:
    return CS7;
  case TByteSize::_8:
    break;
  }
  return CS8;
}

tcflag_t ParityFlags(TParity parity) {
  switch (parity) {
  case TParity::None:
    return 0;
  case TParity::Odd:
    return PARENB | PARODD;
  case TParity::Even:
    return PARENB;
#ifdef CMSPAR
  // Stick parity: with CMSPAR the parity bit is always PARODD's value.
  case TParity::Mark:
    return PARENB | PARODD | CMSPAR;
  case TParity::Space:
    return PARENB | CMSPAR;
#else
  case TParity::Mark:
  case TParity::Space:
    return 0;
#endif
  }
  return 0;
}
} // namespace

speed_t BaudConstant(std::uint32_t baudRate) {
  for (const RateConstant &entry : kRates)
    if (entry.rate == baudRate)
      return entry.constant;
  return B0;
}

std::uint32_t BaudRateOf(speed_t constant) {
  for (const RateConstant &entry : kRates)
    if (entry.constant == constant)
      return entry.rate;
  return 0;
}

void ToTermios(const TLineSettings &settings, termios &tio) {
  // Raw mode: bytes pass unchanged in both directions.
  tio.c_iflag &=
      ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | IGNPAR | INPCK);
  tio.c_oflag &= ~OPOST;
  tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
  tio.c_cflag &= ~CMSPAR;
#endif
  // CLOCAL: a missing carrier neither blocks the open nor hangs up the line;
  // carrier changes are reported as modem events instead.
  tio.c_cflag |= CREAD | CLOCAL;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;

  const speed_t speed = BaudConstant(settings.BaudRate);
  if (speed != B0) {
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
  }

  tio.c_cflag |= SizeFlag(settings.ByteSize) | ParityFlags(settings.Parity);
  // There is no one-and-a-half: the nearest longer frame is two stop bits.
  if (settings.StopBits != TStopBits::_1)
    tio.c_cflag |= CSTOPB;

  // Parity is generated on output in any case; it is checked on input only
  // when asked for, and a byte that fails the check then reads as zero.
  if (settings.ParityCheck)
    tio.c_iflag |= INPCK;

  if (settings.Outx_CtsFlow || settings.RtsControl == TRtsControl::RtsHandshake)
    tio.c_cflag |= CRTSCTS;
  if (settings.Outx_XonXoffFlow)
    tio.c_iflag |= IXON;
  if (settings.Inx_XonXoffFlow)
    tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = static_cast<cc_t>(settings.XonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(settings.XoffChar);
}

TModemLines ModemLinesFor(const TLineSettings &settings) {
  TModemLines lines;
  lines.Dtr = settings.DtrControl != TDtrControl::DtrDisable;
  switch (settings.RtsControl) {
  case TRtsControl::RtsEnable:
    lines.Rts = true;
    break;
  case TRtsControl::RtsDisable:
    lines.Rts = false;
    break;
  case TRtsControl::RtsHandshake:
  case TRtsControl::RtsTransmissionAvailable:
    lines.RtsByDriver = true;
    break;
  }
  // Hardware output flow control asks the driver to handle RTS as well.
  if (settings.Outx_CtsFlow)
    lines.RtsByDriver = true;
  return lines;
}
