#include "cli/DriveWatch.h"

#include "cli/StatusRecord.h"

#include <QJsonDocument>

namespace {
QString TimeText(const QDateTime &time) { return time.toUTC().toString(Qt::ISODateWithMs); }

// The values with their units as the program shows them; running state,
// direction and fault as words.
QJsonObject StateOf(const DriveStatusTexts &status) {
  QJsonObject state;
  for (const RecordField &field : StatusRecord(status)) {
    if (field.unit.isEmpty())
      continue;
    state.insert(field.name, QJsonObject{{"value", field.value.toDouble()}, {"unit", field.unit}});
  }
  const int code = status.statusCode;
  const bool faulted = IsFaultCode(code);
  state.insert("state", QString::fromStdString(status.machineStatus));
  state.insert("status_code", code);
  state.insert("running", code == 1 || code == 2);
  state.insert("direction", code == 1 ? "forward" : code == 2 ? "reverse" : "none");
  state.insert("fault_code", faulted ? code : 0);
  state.insert("fault", faulted ? QJsonValue(QString::fromStdString(status.machineStatus)) : QJsonValue());
  return state;
}
} // namespace

DriveWatch::DriveWatch(int address, int lostAfter, qint64 stateEveryMs)
    : address_(address), lostAfter_(lostAfter), stateEveryMs_(stateEveryMs) {
  latest_.insert("address", address);
}

QByteArray DriveWatch::Event(const QString &name, const QDateTime &time, QJsonObject fields) const {
  fields.insert("address", address_);
  fields.insert("event", name);
  fields.insert("time", TimeText(time));
  return QJsonDocument(fields).toJson(QJsonDocument::Compact);
}

DriveWatch::Report DriveWatch::Take(const DriveReading &reading, qint64 nowMs) {
  Report report;
  if (reading.status) {
    missed_ = 0;
    if (lost_)
      report.events << Event("back", reading.time, {});
    lost_ = false;
    const QJsonObject values = StateOf(*reading.status);
    const int code = values.value("fault_code").toInt();
    if (code != 0 && code != faultCode_)
      report.events << Event("trip", reading.time, {{"fault_code", code}, {"fault", values.value("fault")}});
    else if (code == 0 && faultCode_ != 0)
      report.events << Event(
          "fault cleared", reading.time,
          {{"fault_code", faultCode_}, {"fault", QString::fromStdString(MachineStatusName(faultCode_))}});
    faultCode_ = code;
    latest_ = values;
    latest_.insert("address", address_);
    latest_.insert("reachable", true);
    latest_.insert("time", TimeText(reading.time));
  } else if (++missed_ >= lostAfter_ && !lost_) {
    lost_ = true;
    report.events << Event("lost", reading.time, {{"missed", missed_}, {"reason", reading.missReason}});
    // The last values stay, with the time they were read.
    latest_.insert("reachable", false);
    latest_.insert("reason", reading.missReason);
  }
  if (lost_ || reading.status) {
    QJsonObject withoutTime = latest_;
    withoutTime.remove("time");
    if (!published_ || withoutTime != shown_ || nowMs - publishedAtMs_ >= stateEveryMs_) {
      report.state = QJsonDocument(latest_).toJson(QJsonDocument::Compact);
      shown_ = withoutTime;
      publishedAtMs_ = nowMs;
      published_ = true;
    }
  }
  return report;
}
