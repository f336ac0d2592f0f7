#pragma once

#include <QLocale>
#include <QString>

// A number the user typed (a write's VALUE, a command list's Data cell) or
// a table file holds, read as LocaleDecimal reads it, with "." as its
// decimal separator. Raises CliError (bad input) beginning with `what`
// ("F114=1,000: ") when it holds a thousands separator or a "," where the
// locale (LC_NUMERIC) writes decimals with ".".
QString TypedDecimal(const QString &what, const QString &typed, const QLocale &locale = QLocale::system());
