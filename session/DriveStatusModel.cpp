#include "session/DriveStatusModel.h"

#include "exchange/ExchangeEngine.h"
#include "protocol/HexText.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>

DriveStatusTexts DriveStatusReading::Texts() const {
  return DecodeStatusReply(reply.data(), LocaleDecimalSeparator);
}

DriveStatusModel::DriveStatusModel(TExchangeEngine &engine, QObject *parent) : QObject(parent) {
  // only shown, never asked for the next request: heard once that request is out
  connect(engine.Journal, &ExchangeJournal::Ended, this, &DriveStatusModel::ExchangeEnded);
}

void DriveStatusModel::ExchangeEnded(const ExchangeRecord &record) {
  if (record.outcome != ExchangeRecord::Outcome::Accepted || record.consumer != ReplyConsumer::DriveStatus)
    return;
  // The reply is judged when its window ends, which may be long after it
  // came: its values belong to the moment of its last byte.
  const std::int64_t arrived =
      record.at.isValid() && record.roundTripMs >= 0
          ? record.at.toMSecsSinceEpoch() + static_cast<std::int64_t>(std::llround(record.roundTripMs))
          : 0;
  TakeReply(record.replyBytes.data(), record.replyBytes.size(), arrived);
}

bool DriveStatusModel::TakeReply(const std::uint8_t *bytes, std::size_t length, std::int64_t arrivedMs) {
  if (!reading_)
    return false;
  std::array<std::uint8_t, StatusReplyLength> reply{};
  std::copy_n(bytes, std::min(length, reply.size()), reply.begin());
  // A reply that does not carry the whole block tells no status.
  if (reply[2] < StatusBlockByteCount)
    return false;
  DriveStatusReading &status = latest_[reply[0]];
  status.reply = reply;
  status.values = DecodeStatusValues(reply.data());
  status.arrivedMs = arrivedMs > 0 ? arrivedMs : QDateTime::currentMSecsSinceEpoch();
  emit StatusDecoded(status);
  return true;
}

const DriveStatusReading *DriveStatusModel::Latest(int address) const {
  const auto found = latest_.find(address);
  return found == latest_.end() ? nullptr : &found->second;
}
