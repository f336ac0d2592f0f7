#include "fuzz/FuzzSupport.h"

#include <QFile>
#include <QTemporaryDir>

namespace FuzzSupport {

QString ScratchFolder() {
  static QTemporaryDir folder;
  return folder.path() + "/";
}

bool WriteFile(const QString &path, const std::uint8_t *data, std::size_t size) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return false;
  const qint64 written = file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
  return written == static_cast<qint64>(size);
}

} // namespace FuzzSupport
