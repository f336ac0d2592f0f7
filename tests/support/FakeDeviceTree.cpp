#include "support/FakeDeviceTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool FakeDeviceTree::Make(const QString &root) {
  bool made = true;
  auto write = [&](const QString &path, const QByteArray &text = {}) {
    QFile file(root + path);
    made = made && QDir().mkpath(QFileInfo(root + path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(text) == text.size();
  };
  auto link = [&](const QString &target, const QString &path) {
    made = made && QDir().mkpath(QFileInfo(root + path).path()) && QFile::link(target, root + path);
  };
  auto folder = [&](const QString &path) { made = made && QDir().mkpath(root + path); };

  // ttyUSB's device is the converter's port below the USB interface,
  // ttyACM's the interface itself.
  const QString usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/";
  write(usb + "1-1/idVendor", "0403\n");
  write(usb + "1-1/idProduct", "6001\n");
  write(usb + "1-1/manufacturer", "FTDI\n");
  write(usb + "1-1/product", "FT232R USB UART\n");
  folder(usb + "1-1/1-1:1.0/ttyUSB0");
  write(usb + "1-2/idVendor", "067b\n"); // no strings in its descriptor
  write(usb + "1-2/idProduct", "2303\n");
  folder(usb + "1-2/1-2:1.0/ttyUSB1");
  write(usb + "1-3/idVendor", "2341\n");
  write(usb + "1-3/manufacturer", "Arduino (www.arduino.cc)\n");
  write(usb + "1-3/product", "Arduino Uno\n");
  folder(usb + "1-3/1-3:1.0");
  link("../../../devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0", "/sys/class/tty/ttyUSB0/device");
  link("../../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB1", "/sys/class/tty/ttyUSB1/device");
  link("../../../devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0", "/sys/class/tty/ttyACM0/device");
  // Serial core ports: a 16550A at ttyS0, ttyS2 and ttyS10, none at ttyS1.
  for (const char *uart : {"ttyS0", "ttyS10", "ttyS2"})
    write(QString("/sys/class/tty/%1/type").arg(uart), "4\n");
  write("/sys/class/tty/ttyS1/type", "0\n");
  folder("/sys/class/tty/tty0");
  for (const char *node : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "ttyS1", "ttyS2", "ttyS10", "tty0"})
    write(QString("/dev/") + node);
  link("../../ttyUSB0", FtdiById);
  link("../../ttyUSB7", "/dev/serial/by-id/usb-gone-if00-port0"); // left behind: names nothing
  return made;
}
