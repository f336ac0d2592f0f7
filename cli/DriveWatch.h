#pragma once

#include "drive/StatusDecoding.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// One poll of a drive: its status block, or why there was none.
struct DriveReading {
  std::optional<DriveStatusTexts> status;
  QString missReason; // as the scan words a request without its reply
  QDateTime time;     // when the reply was judged, or the request given up
};

// What the plant is told about one drive. Its state (JSON, for a retained
// message) goes out when it changes and at least every stateEveryMs (0:
// every reading); events mark a trip, a fault cleared, the drive lost after
// lostAfter polls in a row without a status block, and the drive back.
class DriveWatch {
public:
  DriveWatch(int address, int lostAfter, qint64 stateEveryMs);

  struct Report {
    QByteArray state;         // empty: nothing to publish
    QList<QByteArray> events; // in the order they happened
  };
  Report Take(const DriveReading &reading, qint64 nowMs);

private:
  int address_;
  int lostAfter_;
  qint64 stateEveryMs_;
  QJsonObject shown_;  // the state last published, without its time
  QJsonObject latest_; // the state as it stands
  qint64 publishedAtMs_ = 0;
  bool published_ = false;
  int missed_ = 0;
  bool lost_ = false;
  int faultCode_ = 0; // the fault the drive shows; 0: none

  QByteArray Event(const QString &name, const QDateTime &time, QJsonObject fields) const;
};
