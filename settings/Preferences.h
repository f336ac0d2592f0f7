#pragma once

#include <QString>
#include <QVariantMap>

// Preferences that the settings tables have no field for (line options, log
// limits, window geometry), kept in "preferences.ini" in the data folder in
// Qt's ini format, keys as "Group/Name". A missing or damaged file, or a
// value of the wrong kind or out of range, reads as the delivered value;
// nothing here ever fails the start of the program.
class Preferences {
public:
  // The preferences of the data folder `dataFolder` ("…/database1/"), read now.
  explicit Preferences(const QString &dataFolder);

  bool Bool(const QString &key, bool delivered) const;
  int Int(const QString &key, int delivered, int lowest, int highest) const;
  QString Text(const QString &key, const QString &delivered) const;
  QByteArray Bytes(const QString &key) const; // empty when missing

  void Set(const QString &key, const QVariant &value);
  // Writes every value back (the file is replaced whole); false when the
  // file could not be written.
  bool Save() const;

  QString Path() const { return path; }
  // True when the file exists but could not be read as an ini file.
  bool Damaged() const { return damaged; }

private:
  QString path;
  QVariantMap values;
  bool damaged = false;
};
