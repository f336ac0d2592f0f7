#include "cli/RecordOutput.h"

#include "cli/CliError.h"
#include "params/ParameterCompare.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cstdio>

RecordOutput::Format RecordOutput::ParseFormat(const QString &text) {
  if (text == "text")
    return Format::Text;
  if (text == "csv")
    return Format::Csv;
  if (text == "json")
    return Format::Json;
  throw CliError::BadInput("--format must be text, csv or json, not \"" + text + "\"");
}

void RecordOutput::Write(const Record &record) {
  QStringList parts;
  switch (format_) {
  case Format::Text:
    for (const RecordField &field : record)
      parts << (field.unit.isEmpty() ? field.value : field.value + " " + field.unit);
    break;
  case Format::Csv:
    if (!titled_) {
      QStringList titles;
      for (const RecordField &field : record)
        titles << ParameterCompare::CsvField(field.unit.isEmpty() ? field.name
                                                                  : field.name + " (" + field.unit + ")");
      std::printf("%s\n", titles.join(',').toUtf8().constData());
      titled_ = true;
    }
    for (const RecordField &field : record)
      parts << ParameterCompare::CsvField(field.value);
    break;
  case Format::Json: {
    QJsonObject object;
    for (const RecordField &field : record)
      object.insert(field.name, field.value);
    parts << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    break;
  }
  }
  std::printf("%s\n", parts.join(format_ == Format::Csv ? "," : "  ").toUtf8().constData());
  std::fflush(stdout);
}
