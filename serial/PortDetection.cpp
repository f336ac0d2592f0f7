#include "serial/PortDetection.h"

#include "serial/PortNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <optional>
#include <tuple>
#include <vector>

namespace {
// A USB serial device's interface sits one or two folders below the USB
// device that carries the vendor and product: ttyACM's "device" is the
// interface (1-1:1.0), ttyUSB's is the converter's port (1-1:1.0/ttyUSB0)
// below it. The spare levels are for drivers that nest their ports deeper.
constexpr int kLevelsToUsbDevice = 4;

QString Rooted(const QString &root, const QString &path) { return QDir::cleanPath(root + '/' + path); }

QString ReadAttribute(const QString &folder, const char *name) {
  QFile file(QDir(folder).filePath(QString::fromLatin1(name)));
  if (!file.open(QIODevice::ReadOnly))
    return {};
  return QString::fromUtf8(file.read(256)).simplified();
}

// ttyUSB, ttyACM and ttyS with their number, for listing them in the order
// an engineer counts them (ttyUSB2 before ttyUSB10).
struct TtyName {
  int Kind = 0;
  int Number = 0;
  QString Name;
};

std::optional<TtyName> ParseTtyName(const QString &name) {
  static const QRegularExpression pattern(QStringLiteral("^tty(USB|ACM|S)(\\d+)$"));
  const QRegularExpressionMatch match = pattern.match(name);
  if (!match.hasMatch())
    return std::nullopt;
  static const QStringList kinds{QStringLiteral("USB"), QStringLiteral("ACM"), QStringLiteral("S")};
  return TtyName{static_cast<int>(kinds.indexOf(match.captured(1))), match.captured(2).toInt(), name};
}

// The serial core registers a fixed number of ttyS ports whether or not a
// UART answers at their addresses; the ones without one report the port type
// 0 (unknown) in their "type" attribute. Ports of other drivers have no such
// attribute and a device behind them.
bool HasUart(const QString &sysTty) {
  const QString type = ReadAttribute(sysTty, "type");
  if (!type.isEmpty())
    return type.toInt() != 0;
  return QFileInfo::exists(sysTty + QStringLiteral("/device"));
}

// The kernel name of the device a path finally stands for, following links
// inside the tree.
QString KernelName(const QString &root, const QString &path) {
  const QString canonical = QFileInfo(Rooted(root, path)).canonicalFilePath();
  return canonical.isEmpty() ? QString() : QFileInfo(canonical).fileName();
}

QString Described(const QString &name, const QString &root) {
  const QString adapter = PortDetection::AdapterDescription(name, root);
  return adapter.isEmpty() ? name : adapter + QStringLiteral(", ") + name;
}
} // namespace

namespace PortDetection {
QString AdapterDescription(const QString &name, const QString &root) {
  const QString sysRoot = QFileInfo(Rooted(root, QStringLiteral("/sys"))).canonicalFilePath();
  QString folder =
      QFileInfo(Rooted(root, QStringLiteral("/sys/class/tty/") + name + "/device")).canonicalFilePath();
  for (int level = 0; !folder.isEmpty() && level <= kLevelsToUsbDevice; ++level) {
    if (sysRoot.isEmpty() || !folder.startsWith(sysRoot + '/'))
      break;
    const QString vendorId = ReadAttribute(folder, "idVendor");
    if (!vendorId.isEmpty()) {
      const QString manufacturer = ReadAttribute(folder, "manufacturer");
      const QString product = ReadAttribute(folder, "product");
      if (manufacturer.isEmpty() && product.isEmpty())
        return QStringLiteral("USB %1:%2").arg(vendorId, ReadAttribute(folder, "idProduct"));
      if (product.startsWith(manufacturer))
        return product;
      return QStringList({manufacturer, product}).join(' ').trimmed();
    }
    folder = QFileInfo(folder).path();
  }
  return {};
}

QList<TDetectedPort> SerialDevices(const QString &root) {
  QList<TDetectedPort> ports;
  QSet<QString> named;

  const QDir byId(Rooted(root, QStringLiteral("/dev/serial/by-id")));
  for (const QFileInfo &link :
       byId.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
    // udev removes a link with its device; one left behind names nothing.
    if (!link.isSymLink() || !link.exists())
      continue;
    const QString name = QFileInfo(link.symLinkTarget()).fileName();
    named.insert(name);
    ports.append({QStringLiteral("/dev/serial/by-id/") + link.fileName(), Described(name, root)});
  }

  std::vector<TtyName> ttys;
  const QDir sysTty(Rooted(root, QStringLiteral("/sys/class/tty")));
  for (const QString &entry : sysTty.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
    const auto tty = ParseTtyName(entry);
    if (!tty || named.contains(entry) || !QFileInfo::exists(Rooted(root, QStringLiteral("/dev/") + entry)))
      continue;
    if (tty->Name.startsWith(QLatin1String("ttyS")) && !HasUart(sysTty.filePath(entry)))
      continue;
    ttys.push_back(*tty);
  }
  std::sort(ttys.begin(), ttys.end(), [](const TtyName &a, const TtyName &b) {
    return std::tie(a.Kind, a.Number) < std::tie(b.Kind, b.Number);
  });
  // A UART on the board or a card has no vendor and model to show.
  for (const TtyName &tty : ttys)
    ports.append({QStringLiteral("/dev/") + tty.Name, tty.Name.startsWith(QLatin1String("ttyS"))
                                                          ? QStringLiteral("UART")
                                                          : Described(tty.Name, root)});
  return ports;
}

QList<TDetectedPort> LinkedComPorts(const QString &dataFolder, const QString &root) {
  QList<TDetectedPort> ports;
  for (int number = 1; number <= PortNames::HighestComPort; ++number) {
    const QString name = QStringLiteral("COM%1").arg(number);
    const QString target = PortNames::ComLinkTarget(name, dataFolder);
    if (target.isEmpty())
      continue;
    const QString kernelName = KernelName(root, target);
    const QString adapter = kernelName.isEmpty() ? QString() : AdapterDescription(kernelName, root);
    ports.append({name, adapter.isEmpty() ? target : target + QStringLiteral(" (") + adapter + ')'});
  }
  return ports;
}
} // namespace PortDetection
