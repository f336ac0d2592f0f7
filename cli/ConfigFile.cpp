#include "cli/ConfigFile.h"

#include "cli/CliError.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace {
// Larger than any service's options; a device or a huge file is no configuration.
constexpr qint64 MostBytes = 64 * 1024;
} // namespace

namespace ConfigFile {

void AddOptions(CliArguments &args, const QString &path) {
  QFile file(path);
  if (!QFileInfo(path).isFile())
    throw CliError::BadInput("configuration file " + path + " not found");
  if (file.size() > MostBytes || !file.open(QIODevice::ReadOnly))
    throw CliError::BadInput("configuration file " + path + " cannot be read" +
                             (file.size() > MostBytes ? QStringLiteral(" (larger than 64 KiB)") : QString()));
  QMap<QString, int> given; // option -> line first given on
  int number = 0;
  for (const QByteArray &raw : file.readAll().split('\n')) {
    ++number;
    const QString line = QString::fromUtf8(raw).trimmed();
    const QString where = QStringLiteral("%1:%2: ").arg(path).arg(number);
    if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
      continue;
    if (line.startsWith('[')) {
      if (!line.endsWith(']'))
        throw CliError::BadInput("configuration file " + where + "a group is [NAME]");
      continue;
    }
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
      throw CliError::BadInput("configuration file " + where + "not NAME = VALUE");
    const QString name = line.left(equals).trimmed();
    QString text = line.mid(equals + 1).trimmed();
    if (name == "config" || (!CliOptions::TakesValue(name) && !CliOptions::IsSwitch(name)))
      throw CliError::BadInput("configuration file " + where + "\"" + name + "\" is no option");
    if (given.contains(name))
      throw CliError::BadInput(QStringLiteral("configuration file %1%2 is given again (first on line %3)")
                                   .arg(where, name)
                                   .arg(given.value(name)));
    given.insert(name, number);
    // Other readers of INI files end a value at ';': a value that holds one
    // would not mean the same to them.
    if (text.contains(';'))
      throw CliError::BadInput("configuration file " + where + name + ": \";\" in a value");
    if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"'))
      text = text.mid(1, text.size() - 2);
    if (args.Has(name))
      continue;
    if (CliOptions::TakesValue(name)) {
      args.options.insert(name, text);
    } else if (text == "true" || text == "yes" || text == "1") {
      args.options.insert(name, {});
    } else if (text != "false" && text != "no" && text != "0") {
      throw CliError::BadInput("configuration file " + where + name + " is true or false");
    }
  }
}

} // namespace ConfigFile
