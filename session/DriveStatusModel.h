#pragma once

#include "drive/StatusDecoding.h"

#include <QObject>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>

class TExchangeEngine;
struct ExchangeRecord;

// What a drive's last status reply held: the numbers, and the reply itself
// for the texts as shown. At line rate far more replies come than are shown,
// so the texts are made only when asked for.
struct DriveStatusReading {
  std::array<std::uint8_t, StatusReplyLength> reply{};
  DriveStatusValues values;
  DriveStatusTexts Texts() const;
  // When the reply's last byte came, ms since the epoch.
  std::int64_t arrivedMs = 0;
};

// The drives' status as their status replies tell it: each accepted reply to
// a status read is decoded and kept as the latest of its drive.
class DriveStatusModel : public QObject {
  Q_OBJECT
public:
  explicit DriveStatusModel(TExchangeEngine &engine, QObject *parent = nullptr);

  // Status replies are read only while a drive series is chosen.
  void SetReading(bool on) { reading_ = on; }
  // A status reply as the drive sent it (address, function, byte count,
  // registers), its last byte come at `arrivedMs` (0: now); false when it
  // is not read or lacks part of the block.
  bool TakeReply(const std::uint8_t *bytes, std::size_t length, std::int64_t arrivedMs = 0);
  // The latest status of the drive at `address`, or none.
  const DriveStatusReading *Latest(int address) const;

signals:
  void StatusDecoded(const DriveStatusReading &status);

private:
  void ExchangeEnded(const ExchangeRecord &record);

  std::map<int, DriveStatusReading> latest_;
  bool reading_ = true;
};
