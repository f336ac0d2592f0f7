#pragma once

#include "log/ExchangeRecord.h"
#include "log/TrafficLogWriter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

// The traffic log: every exchange that the history pane shows becomes one
// line of "logs/traffic-YYYY-MM-DD.csv" in the data folder. It is told what
// the pane is told (a request line, the completion of the last line) and
// when bytes arrive, and it keeps the exchange in flight until it ends.
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

  // A request line as the history pane shows it (a refused request carries
  // its "Not sent" note); awaitsReply when the tool waits for an answer.
  void RequestLogged(const QString &line, bool awaitsReply, const QString &port, const QString &mode);
  // Bytes came in: the latest of them ends the round trip.
  void BytesArrived();
  // The text added to the last history line; reason tells why a reply was
  // refused (unused otherwise).
  void LineCompleted(const QString &suffix, bool accepted, const QString &reason, const QString &port,
                     const QString &mode);
  // Bytes that no request awaited, logged on their own (`reason`: a late
  // reply, data that came before a request went out).
  void Unasked(const QString &data, const QString &reason, const QString &port, const QString &mode);
  // Waits until every line so far is in the file.
  void Flush();

  bool Enabled() const { return writer_ != nullptr; }
  QString Folder() const { return folder_; }

signals:
  // The log cannot be written; said once until it is written again.
  void WriteFailed(const QString &reason);
  void WriteResumed();

private:
  void Write(const ExchangeRecord &record);

  const QString folder_;
  std::unique_ptr<TrafficLogWriter> writer_;
  std::optional<ExchangeRecord> pending_; // the request whose reply is awaited
  QElapsedTimer sinceSent_;
  double lastByteMs_ = -1;
};
