#include "cli/ConfigFile.h"

#include "cli/CliError.h"

#include <QFileInfo>
#include <QSettings>

namespace ConfigFile {

void AddOptions(CliArguments &args, const QString &path) {
  if (!QFileInfo(path).isFile())
    throw CliError::BadInput("configuration file " + path + " not found");
  QSettings settings(path, QSettings::IniFormat);
  if (settings.status() != QSettings::NoError)
    throw CliError::BadInput("configuration file " + path + " cannot be read");
  for (const QString &key : settings.allKeys()) {
    const QString name = key.section('/', -1);
    if (name == "config" || (!CliOptions::TakesValue(name) && !CliOptions::IsSwitch(name)))
      throw CliError::BadInput("configuration file " + path + ": \"" + key + "\" is no option");
    if (args.Has(name))
      continue;
    // An unquoted list (addresses=1,3,4) comes back as several values.
    const QVariant value = settings.value(key);
    const QString text = value.typeId() == QMetaType::QStringList ? value.toStringList().join(',')
                                                                  : value.toString().trimmed();
    if (CliOptions::TakesValue(name)) {
      args.options.insert(name, text);
    } else if (text == "true" || text == "yes" || text == "1") {
      args.options.insert(name, {});
    } else if (text != "false" && text != "no" && text != "0") {
      throw CliError::BadInput("configuration file " + path + ": " + key + " is true or false");
    }
  }
}

} // namespace ConfigFile
