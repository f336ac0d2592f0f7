#include "params/WriteAllCheck.h"

#include "params/DecimalScaling.h"

void TWriteAllCheck::Begin() {
  *this = TWriteAllCheck{};
  active_ = true;
}

void TWriteAllCheck::End() {
  active_ = false;
  readingBack_ = false;
  readAwaited_ = false;
}

void TWriteAllCheck::DropPending() {
  if (hasPending_ && !unanswered_.contains(pending_.code))
    unanswered_ << pending_.code;
  hasPending_ = false;
}

void TWriteAllCheck::Writing(const QString &code, std::uint16_t raw, const QString &text, int decimals) {
  if (hasPending_ && pending_.code != code)
    DropPending();
  refused_.removeAll(code);
  unanswered_.removeAll(code);
  pending_ = {code, raw, text, decimals};
  hasPending_ = true;
}

void TWriteAllCheck::Confirmed() {
  if (!hasPending_)
    return;
  written_.push_back(pending_);
  hasPending_ = false;
}

void TWriteAllCheck::Refused() {
  if (!hasPending_)
    return;
  refused_ << pending_.code;
  hasPending_ = false;
  refusal_ = true;
}

bool TWriteAllCheck::TakeRefusal() {
  const bool refused = refusal_;
  refusal_ = false;
  return refused;
}

void TWriteAllCheck::Skipped(const QString &code, const QString &reason) {
  const QString entry = code + " (" + reason + ")";
  if (!skipped_.contains(entry))
    skipped_ << entry;
}

void TWriteAllCheck::StartReadBack() {
  readingBack_ = true;
  readAwaited_ = false;
  nextRead_ = 0;
}

QString TWriteAllCheck::NextToRead(bool again) {
  // The last write's reply, if any, has been handled by now.
  DropPending();
  if (again && readAwaited_ && nextRead_ > 0)
    --nextRead_;
  readAwaited_ = false;
  if (nextRead_ >= written_.size())
    return QString();
  readAwaited_ = true;
  return written_[nextRead_++].code;
}

void TWriteAllCheck::ReadBack(std::uint16_t raw) {
  if (!readAwaited_ || nextRead_ == 0)
    return;
  Write &write = written_[nextRead_ - 1];
  write.readBack = true;
  write.held = raw;
  readAwaited_ = false;
}

int TWriteAllCheck::VerifiedCount() const {
  int count = 0;
  for (const Write &write : written_)
    count += write.readBack && write.held == write.raw;
  return count;
}

int TWriteAllCheck::DifferingCount() const {
  int count = 0;
  for (const Write &write : written_)
    count += write.readBack && write.held != write.raw;
  return count;
}

QString TWriteAllCheck::Report(const std::string &separator) const {
  QStringList lines{QStringLiteral("Have finished writing all codes!"),
                    QStringLiteral("Written: %1, verified: %2, differing: %3")
                        .arg(WrittenCount())
                        .arg(VerifiedCount())
                        .arg(DifferingCount())};
  QStringList notRead;
  for (const Write &write : written_) {
    if (!write.readBack)
      notRead << write.code;
    else if (write.held != write.raw)
      lines << write.code + ": written " + write.text + ", the drive holds " +
                   QString::fromStdString(
                       DecimalScaling::FormatRegisterValue(write.held, write.decimals, separator));
  }
  if (!refused_.isEmpty())
    lines << "Refused by the drive (exception 03): " + refused_.join(", ");
  if (!unanswered_.isEmpty())
    lines << "No answer to the write: " + unanswered_.join(", ");
  if (!notRead.isEmpty())
    lines << "Not read back: " + notRead.join(", ");
  if (!skipped_.isEmpty())
    lines << "Not written: " + skipped_.join(", ");
  return lines.join('\n');
}
