#include "cli/TypedDecimal.h"

#include "cli/CliError.h"
#include "params/LocaleDecimal.h"

QString TypedDecimal(const QString &what, const QString &typed, const QLocale &locale) {
  const LocaleDecimal::Reading reading = LocaleDecimal::Read(typed, locale);
  if (!reading.refusal.isEmpty())
    throw CliError::BadInput(what + reading.refusal);
  return reading.plain;
}
