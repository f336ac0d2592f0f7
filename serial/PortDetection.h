#pragma once

#include <QList>
#include <QString>

// The serial devices present on this machine, found by looking at the device
// folder and the kernel's sysfs without opening anything, so that listing
// them never disturbs a line in use or waits on a device.
//
// Every function takes `root`, the folder that stands for "/" (a test gives a
// fake tree); the paths returned are always as seen from the real root.

// One entry of a port list: the name the port settings take and what to show
// beside it.
struct TDetectedPort {
  QString Path;
  QString Label;

  bool operator==(const TDetectedPort &) const = default;
};

namespace PortDetection {
// In this order: every /dev/serial/by-id link (the names that survive
// replugging and reordering), labelled with the adapter's vendor and model
// where sysfs knows them; then /dev/ttyUSB* and /dev/ttyACM* that no such
// link names; then the /dev/ttyS* ports that have a UART behind them.
QList<TDetectedPort> SerialDevices(const QString &root = QStringLiteral("/"));

// The "COMn" names that <dataFolder>/ports links to a device, each labelled
// with that device (and its adapter, where known), in port order.
QList<TDetectedPort> LinkedComPorts(const QString &dataFolder, const QString &root = QStringLiteral("/"));

// Vendor and model of the USB adapter behind the kernel's tty `name`
// ("ttyUSB0", "ttyACM0") from sysfs; empty when it is none or unknown.
QString AdapterDescription(const QString &name, const QString &root = QStringLiteral("/"));
} // namespace PortDetection
