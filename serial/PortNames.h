#pragma once

#include <QString>

// Port names as the user knows them and the devices they stand for.
//
// A name starting with "/" is a device path and is used as it is. "COMn"
// (n = 1 to 20) is the device that the symbolic link <data folder>/ports/COMn
// points to when that link exists, otherwise /dev/ttyS<n-1>. Any other name
// stands for no device and gives an empty path.
namespace PortNames {
constexpr int HighestComPort = 20;

QString DevicePath(const QString &commName, const QString &dataFolder);
// Where the link <dataFolder>/ports/COMn of a "COMn" name points (as the
// link says it, made absolute), or empty when there is no such link.
QString ComLinkTarget(const QString &commName, const QString &dataFolder);
// The same with the program's data folder.
QString DevicePath(const QString &commName);
} // namespace PortNames
