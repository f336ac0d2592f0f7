#include "cli/ListWriteCheck.h"

#include "cli/CliError.h"
#include "cli/TypedDecimal.h"
#include "sequences/SequenceRequest.h"

namespace {
// Runs `check`; its refusal is told with the row it came from.
template <typename Check> auto AtRow(const QString &where, Check check) {
  try {
    return check();
  } catch (const CliError &e) {
    throw CliError::BadInput(where + QString::fromUtf8(e.what()));
  }
}
} // namespace

namespace ListWriteCheck {

QString FunctionData(const ParameterFile::Records &records, const QString &function, const QString &data,
                     const QString &where, const QString &tableName) {
  const QString shortCode = QString::fromStdString(FunctionShortCode(function.toStdString()));
  const ParameterCompare::Record *record = nullptr;
  for (const ParameterCompare::Record &candidate : records)
    if (candidate.code.right(3).compare(shortCode, Qt::CaseInsensitive) == 0)
      record = &candidate;
  if (!record)
    throw CliError::BadInput(where + function + " is not in " + tableName);
  return AtRow(where, [&] {
    const QString what = record->code + "=" + data + ": ";
    return ParameterFile::PrepareWrite(*record, TypedDecimal(what, data.trimmed())).text;
  });
}

void CommandRequest(const std::function<const ParameterFile::Records &()> &records, const std::string &body,
                    const QString &where) {
  // address, function, register, value: two, two, four and four hex digits
  const QString request = QString::fromStdString(body).toUpper();
  if (request.size() < 12 || request.mid(2, 2) != QLatin1String("06"))
    return;
  const QString target = request.mid(4, 4);
  for (const ParameterCompare::Record &record : records()) {
    if (ParameterFile::Register(record.code) != target)
      continue;
    const auto raw = static_cast<std::uint16_t>(request.mid(8, 4).toUInt(nullptr, 16));
    AtRow(where,
          [&] { return ParameterFile::PrepareWrite(record, ParameterFile::ValueText(record.code, raw)); });
    return;
  }
}

} // namespace ListWriteCheck
