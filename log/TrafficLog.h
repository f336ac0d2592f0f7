#pragma once

#include "exchange/ExchangeRecord.h"
#include "log/TrafficLogLine.h"
#include "log/TrafficLogWriter.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

// The traffic log: every exchange that the history pane shows becomes one
// line of "logs/traffic-YYYY-MM-DD.csv" in the data folder. It is told of
// the exchanges as the engine tells them, and keeps the one in flight until
// it ends.
// On by default; on/off and the limits come from the data folder's
// preferences ("Log/Enabled", "Log/Days", "Log/Megabytes").
class TrafficLog : public QObject {
  Q_OBJECT
public:
  struct Settings {
    bool enabled = true;
    TrafficLogWriter::Limits limits;
  };
  static Settings ReadSettings(const QString &dataFolder);
  static QString FolderOf(const QString &dataFolder) { return dataFolder + QStringLiteral("logs"); }

  TrafficLog(const QString &folder, const Settings &settings, QObject *parent = nullptr);
  ~TrafficLog() override;

  // A request went out and its reply is awaited.
  void Started(const ExchangeRecord &record);
  // An exchange ended: the request's line, or a line of bytes nobody awaited.
  void Ended(const ExchangeRecord &record);
  // Waits until every line so far is in the file.
  void Flush();

  bool Enabled() const { return writer_ != nullptr; }
  QString Folder() const { return folder_; }

signals:
  // The log cannot be written; said once until it is written again.
  void WriteFailed(const QString &reason);
  void WriteResumed();

private:
  void Write(const TrafficLogLine &record);

  const QString folder_;
  std::unique_ptr<TrafficLogWriter> writer_;
  std::optional<TrafficLogLine> pending_; // the request whose reply is awaited
};
