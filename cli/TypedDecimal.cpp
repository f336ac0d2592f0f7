#include "cli/TypedDecimal.h"

#include "cli/CliError.h"

QString TypedDecimal(const QString &what, const QString &typed, const QLocale &locale) {
  const bool commaIsDecimal = locale.decimalPoint() == QLatin1String(",");
  QString grouping;
  if (typed.contains(',') && (!commaIsDecimal || typed.contains('.')))
    grouping = commaIsDecimal ? QStringLiteral(".") : QStringLiteral(",");
  else if (const QString group = locale.groupSeparator(); !group.isEmpty() && group != QLatin1String(".") &&
                                                          group != QLatin1String(",") &&
                                                          typed.contains(group))
    grouping = group;
  if (!grouping.isEmpty())
    throw CliError::BadInput(what + "the value holds a thousands separator (\"" + grouping +
                             "\"); write it without one, with \".\"" +
                             (commaIsDecimal ? QStringLiteral(" or \",\"") : QString()) + " before decimals");
  return commaIsDecimal ? QString(typed).replace(',', '.') : typed;
}
