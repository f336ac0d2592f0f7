#include "session/DriveStatusModel.h"

#include "exchange/ExchangeEngine.h"
#include "protocol/HexText.h"

#include <algorithm>
#include <array>

DriveStatusModel::DriveStatusModel(TExchangeEngine &engine, QObject *parent) : QObject(parent) {
  connect(&engine, &TExchangeEngine::ExchangeEnded, this, &DriveStatusModel::ExchangeEnded);
}

void DriveStatusModel::ExchangeEnded(const ExchangeRecord &record) {
  if (record.outcome == ExchangeRecord::Outcome::Accepted && record.consumer == ReplyConsumer::DriveStatus)
    TakeReply(record.replyBytes.data(), record.replyBytes.size());
}

bool DriveStatusModel::TakeReply(const std::uint8_t *bytes, std::size_t length) {
  if (!reading_)
    return false;
  std::array<std::uint8_t, StatusReplyLength> reply{};
  std::copy_n(bytes, std::min(length, reply.size()), reply.begin());
  // A reply that does not carry the whole block tells no status.
  if (reply[2] < StatusBlockByteCount)
    return false;
  DriveStatusReading &status = latest_[reply[0]];
  status.texts = DecodeStatusReply(reply.data(), LocaleDecimalSeparator);
  status.values = DecodeStatusValues(reply.data());
  emit StatusDecoded(status);
  return true;
}

const DriveStatusReading *DriveStatusModel::Latest(int address) const {
  const auto found = latest_.find(address);
  return found == latest_.end() ? nullptr : &found->second;
}
