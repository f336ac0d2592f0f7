#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The command line of vossek-drive-cli taken apart: the subcommand, its
// words, and the options given (by name without the dashes; switches map to
// an empty text). Nothing is checked against the drive or the tables here.
struct CliArguments {
  QString command;
  QStringList words;
  QMap<QString, QString> options;

  bool Has(const QString &name) const { return options.contains(name); }
  QString Value(const QString &name, const QString &fallback = {}) const {
    return options.value(name, fallback);
  }
};

namespace CliOptions {

// Splits the arguments after the program's name. "--name VALUE" and
// "--name=VALUE" both give a value to options that take one; an unknown
// option, a missing value or a missing subcommand raises CliError (usage).
CliArguments Parse(const QStringList &arguments);

// Whether an option of that name (without the dashes) takes a value, or is
// a switch.
bool TakesValue(const QString &name);
bool IsSwitch(const QString &name);

// The whole number given for --option, `fallback` when it is not given;
// CliError (bad input) outside least..most.
int Number(const CliArguments &args, const QString &option, int least, int most, int fallback);

// The text of --help; the manual page says the same at more length.
QString Usage();

} // namespace CliOptions
