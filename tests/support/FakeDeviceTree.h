#pragma once

#include <QString>

// A udev-free stand-in for /dev and /sys under `root`, laid out as udev and
// the kernel lay them out: an FTDI adapter (ttyUSB0, named by a by-id link),
// one without strings in its descriptor (ttyUSB1), an Arduino (ttyACM0),
// UARTs at ttyS0, ttyS2 and ttyS10 but none at ttyS1, and a by-id link left
// behind by an adapter that is gone. False when the tree could not be made.
namespace FakeDeviceTree {
inline const QString FtdiById =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

bool Make(const QString &root);
} // namespace FakeDeviceTree
