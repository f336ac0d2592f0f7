#include "settings/Preferences.h"

#include <QFileInfo>
#include <QSettings>

Preferences::Preferences(const QString &dataFolder) {
  path = dataFolder;
  if (!path.isEmpty() && !path.endsWith('/'))
    path += '/';
  path += QStringLiteral("preferences.ini");
  if (!QFileInfo::exists(path))
    return;
  QSettings file(path, QSettings::IniFormat);
  if (file.status() != QSettings::NoError) {
    damaged = true;
    return;
  }
  for (const QString &key : file.allKeys())
    values.insert(key, file.value(key));
}

bool Preferences::Bool(const QString &key, bool delivered) const {
  const QString text = values.value(key).toString().trimmed().toLower();
  if (text == QLatin1String("true") || text == QLatin1String("1"))
    return true;
  if (text == QLatin1String("false") || text == QLatin1String("0"))
    return false;
  return delivered;
}

int Preferences::Int(const QString &key, int delivered, int lowest, int highest) const {
  bool ok = false;
  const int value = values.value(key).toString().trimmed().toInt(&ok);
  return ok && value >= lowest && value <= highest ? value : delivered;
}

QString Preferences::Text(const QString &key, const QString &delivered) const {
  const QVariant value = values.value(key);
  return value.isValid() ? value.toString() : delivered;
}

QByteArray Preferences::Bytes(const QString &key) const { return values.value(key).toByteArray(); }

void Preferences::Set(const QString &key, const QVariant &value) { values.insert(key, value); }

bool Preferences::Save() const {
  QSettings file(path, QSettings::IniFormat);
  file.clear();
  for (auto it = values.cbegin(); it != values.cend(); ++it)
    file.setValue(it.key(), it.value());
  file.sync();
  return file.status() == QSettings::NoError;
}
