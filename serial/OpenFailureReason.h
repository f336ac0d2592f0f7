#pragma once

#include <QString>

// The reason, in words an engineer can act on, why the system refused to open
// a serial device: "Permission denied: add your user to the dialout group"
// (when the device's group may use it and is one a user can join),
// "Permission denied: the device is readable only by its owner (root)",
// "No such device", "in use by another program", or the system's own text
// for anything else. `errorNumber` is the errno of the failed open (or of the
// lock taken right after it); `devicePath` the device that refused.
QString OpenFailureReason(int errorNumber, const QString &devicePath = QString());
