#include "serial/PortNames.h"

#include "base/AppPaths.h"

#include <QDir>
#include <QFileInfo>

namespace {
// The n of "COMn", or 0 when the name is not one of ours.
int ComPortNumber(const QString &name) {
  if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
    return 0;
  const QString digits = name.mid(3);
  if (digits.isEmpty() || digits.startsWith('0'))
    return 0;
  for (QChar c : digits)
    if (c < '0' || c > '9')
      return 0;
  bool ok = false;
  const int number = digits.toInt(&ok);
  return ok && number <= PortNames::HighestComPort ? number : 0;
}

QFileInfo ComLink(int number, const QString &dataFolder) {
  return QFileInfo(QDir(dataFolder).filePath(QStringLiteral("ports/COM%1").arg(number)));
}
} // namespace

namespace PortNames {
QString DevicePath(const QString &commName, const QString &dataFolder) {
  if (commName.startsWith('/'))
    return commName;
  const int number = ComPortNumber(commName);
  if (number == 0)
    return {};

  const QFileInfo link = ComLink(number, dataFolder);
  if (link.isSymLink())
    return link.symLinkTarget();
  // A device node (or anything else) put there under the port's name is used
  // as it is; opening it decides whether it is a serial port.
  if (link.exists())
    return link.absoluteFilePath();
  return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

QString ComLinkTarget(const QString &commName, const QString &dataFolder) {
  const int number = ComPortNumber(commName);
  if (number == 0)
    return {};
  const QFileInfo link = ComLink(number, dataFolder);
  return link.isSymLink() ? link.symLinkTarget() : QString();
}

QString DevicePath(const QString &commName) { return DevicePath(commName, AppPaths::DataFolder()); }
} // namespace PortNames
