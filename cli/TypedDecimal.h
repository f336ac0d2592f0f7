#pragma once

#include <QLocale>
#include <QString>

// A number the user typed (a write's VALUE, a command list's Data cell) with
// "." as its decimal separator. "." always separates decimals, "," only
// where the locale writes decimals with it (LC_NUMERIC); a value holding a
// thousands separator ("1,000" where "," groups thousands) is refused, as
// it would be taken for a fraction. Raises CliError (bad input) beginning
// with `what` ("F114=1,000: ").
QString TypedDecimal(const QString &what, const QString &typed, const QLocale &locale = QLocale::system());
