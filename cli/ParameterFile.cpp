#include "cli/ParameterFile.h"

#include "cli/CliError.h"
#include "cli/TypedDecimal.h"
#include "drive/RequestBodies.h"
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "params/ParameterRange.h"
#include "protocol/ConvertError.h"
#include "settings/TableStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {
QString ShortCode(const QString &code) { return code.mid(1, 3); }
} // namespace

namespace ParameterFile {

Records Load(const QString &path) {
  const QFileInfo info(path);
  if (!info.isFile())
    throw CliError::BadInput(path + ": no such file");
  try {
    return ParameterCompare::ReadTable(info.absolutePath(), info.fileName());
  } catch (const std::exception &e) {
    throw CliError::BadInput(path + " cannot be read as a parameter table: " + QString::fromUtf8(e.what()));
  }
}

const ParameterCompare::Record *Find(const Records &records, const QString &code) {
  for (const ParameterCompare::Record &record : records)
    if (record.code.compare(code, Qt::CaseInsensitive) == 0)
      return &record;
  return nullptr;
}

int Decimals(const QString &code) { return DecimalPlaces(ShortCode(code).toStdString()); }

QString Register(const QString &code) {
  try {
    return QString::fromStdString(ParameterRegister(ShortCode(code).toStdString())).toUpper();
  } catch (const EConvertError &) {
    return {}; // a code that names no register
  }
}

std::string ReadBody(int address, const QString &code) {
  return RequestBodies::UserCommand(address, true, ParameterRegister(ShortCode(code).toStdString()), "0001");
}

std::string WriteBody(int address, const QString &code, std::uint16_t raw) {
  return RequestBodies::UserCommand(address, false, ParameterRegister(ShortCode(code).toStdString()),
                                    DecimalScaling::RegisterHex(raw));
}

QString StoredValue(const QString &file, const ParameterCompare::Record &record) {
  const QString text = record.nowData.trimmed();
  return TypedDecimal(file + ": " + record.code + "=" + text + ": ", text);
}

Prepared PrepareWrite(const ParameterCompare::Record &record, const QString &value) {
  const QString what = record.code + "=" + value + ": ";
  if (record.name == QLatin1String("Reserved"))
    throw CliError::BadInput(what + "This code is not allowed to modify! (Reserved)");
  switch (ParameterRange::Check(value, record.min, record.max)) {
  case ParameterRange::Verdict::ReadOnly:
    throw CliError::BadInput(what + "This code is not allowed to modify!");
  case ParameterRange::Verdict::NotANumber:
    throw CliError::BadInput(what + "not a number");
  case ParameterRange::Verdict::Outside:
    throw CliError::BadInput(what + "Input data out of range!   Valid range:" + record.min + "----" +
                             record.max);
  case ParameterRange::Verdict::Inside:
    break;
  }
  const int decimals = Decimals(record.code);
  const std::string text = DecimalScaling::NormalizeDecimals(value.trimmed().toStdString(), decimals, ".");
  std::optional<std::uint16_t> raw;
  try {
    raw = DecimalScaling::ToRegisterValue(text, decimals, ".");
  } catch (const EConvertError &) {
    throw CliError::BadInput(what + "not a number"); // a sign passes the range check, not the register
  }
  if (!raw)
    throw CliError::BadInput(what + "Value too large!   Largest value:" +
                             QString::fromStdString(DecimalScaling::FormatRegisterValue(
                                 DecimalScaling::MaxRegisterValue, decimals, ".")));
  return {*raw, QString::fromStdString(text)};
}

QString ValueText(const QString &code, std::uint16_t raw) {
  return QString::fromStdString(DecimalScaling::FormatRegisterValue(raw, Decimals(code), "."));
}

void SaveCopy(const QString &source, const QString &target, const QString &shown,
              const QMap<QString, QString> &values) {
  const QFileInfo targetInfo(target);
  // The table store finds a table by its file name in a folder: the copy
  // gets a plain name there until it is whole.
  const QString partName = QStringLiteral("vdd_cli_part_%1.dbf").arg(QCoreApplication::applicationPid());
  const QString part = QDir(targetInfo.absolutePath()).filePath(partName);
  // The store's and the system's words name the part; the user knows only
  // the name given.
  const auto failed = [&](const QString &reason) {
    QFile::remove(part);
    return CliError::BadInput("cannot write " + shown + ": " + QString(reason).replace(part, shown));
  };
  QFile::remove(part);
  QFile copy(source);
  if (!copy.copy(part))
    throw failed(copy.errorString());
  try {
    TTableConnection connection;
    connection.SetConnectionString(TTableConnection::ConnectionTextFor(targetInfo.absolutePath()));
    connection.Open();
    TTableQuery query(&connection);
    query.SetSQL("select * from " + partName);
    query.Open();
    for (query.First(); !query.Eof(); query.Next()) {
      const auto value = values.constFind(query.FieldByName("CODE").AsString().trimmed().toUpper());
      if (value == values.constEnd())
        continue;
      query.Edit();
      query.FieldByName("NOWDATA").SetAsString(*value);
      query.FieldByName("MODIFY").SetAsString(*value);
      query.KeepEdits();
    }
    query.WriteKept();
    query.Close();
  } catch (const std::exception &e) {
    throw failed(QString::fromUtf8(e.what()).replace(partName, targetInfo.fileName()));
  }
  // A file written over keeps who may read and write it.
  if (targetInfo.exists())
    QFile::setPermissions(part, targetInfo.permissions());
  // rename() puts the whole copy in place of an older file in one step
  if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0)
    throw failed(QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace ParameterFile
