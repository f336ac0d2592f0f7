#pragma once

#include <QLocale>
#include <QString>

// A decimal number as a user writes it, typed or kept in a table file's
// NOWDATA: "." always separates decimals, "," only where the locale writes
// decimals with it. A thousands separator is refused rather than guessed at:
// "1,000" in a "." locale would otherwise be taken for 1.0, a value nobody
// meant.
namespace LocaleDecimal {

struct Reading {
  QString plain;   // the text with "." before decimals
  QString refusal; // why the text cannot be read so; empty when it can
};

// Only the separators are judged: a text that is no number at all is left
// to the range check.
Reading Read(const QString &text, const QLocale &locale = QLocale::system());

} // namespace LocaleDecimal
