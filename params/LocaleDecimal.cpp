#include "params/LocaleDecimal.h"

namespace LocaleDecimal {

Reading Read(const QString &text, const QLocale &locale) {
  const QString point = locale.decimalPoint();
  const bool commaIsDecimal = point == QLatin1String(",");
  const QString advice = "; write it with \".\"" +
                         (commaIsDecimal ? QStringLiteral(" or \",\"") : QString()) +
                         " before decimals and no thousands separator";
  const QString group = locale.groupSeparator();
  QString grouping;
  if (text.contains(',') && text.contains('.'))
    grouping = commaIsDecimal ? QStringLiteral(".") : QStringLiteral(",");
  else if (!group.isEmpty() && group != QLatin1String(".") && group != QLatin1String(",") &&
           text.contains(group))
    grouping = group;
  if (!grouping.isEmpty())
    return {{}, "the value holds a thousands separator (\"" + grouping + "\")" + advice};
  if (text.contains(',') && !commaIsDecimal)
    return {{}, "the value holds a \",\" where this locale's decimal point is \"" + point + "\"" + advice};
  return {commaIsDecimal ? QString(text).replace(',', '.') : text, {}};
}

} // namespace LocaleDecimal
