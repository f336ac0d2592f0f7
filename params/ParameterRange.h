#pragma once

#include <QString>

// Whether a value may be written to a parameter, judged by the MIN and MAX
// its table record holds ("." as separator; "--" or empty: the drive's own
// value, never written).
namespace ParameterRange {

enum class Verdict { Inside, ReadOnly, Outside, NotANumber };

// `value` is written with "." (as LocaleDecimal reads it).
Verdict Check(const QString &value, const QString &min, const QString &max);

} // namespace ParameterRange
