#include "params/ParameterRange.h"

#include "params/DecimalScaling.h"
#include "protocol/ConvertError.h"

namespace ParameterRange {

Verdict Check(const QString &value, const QString &min, const QString &max) {
  if (min.isEmpty() || max.isEmpty() || min == "--" || max == "--")
    return Verdict::ReadOnly;
  try {
    const double v = DecimalScaling::ParseDecimal(value.toStdString(), ".");
    if (v < DecimalScaling::ParseDecimal(min.toStdString(), ".") ||
        v > DecimalScaling::ParseDecimal(max.toStdString(), "."))
      return Verdict::Outside;
  } catch (const EConvertError &) {
    return Verdict::NotANumber;
  }
  return Verdict::Inside;
}

} // namespace ParameterRange
