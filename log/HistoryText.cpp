#include "log/HistoryText.h"

#include "exchange/DriveLateness.h"
#include "log/TimeStampText.h"

#include <algorithm>

namespace {
const QString SendMark = QStringLiteral(" Send  >   ");
const QString ReplyMark = QStringLiteral("  ----- R >   ");
const QString NoResponseMark = QStringLiteral("  -----> No response!   ");
const QString NotSentMark = QStringLiteral("  -----> Not sent: ");
const QString LateReplyMark = QStringLiteral("  ----- Late reply, not taken >   ");
const QString UnaskedMark = QStringLiteral("  ----- Unasked data, not taken >   ");
const QString NoteMark = QStringLiteral("  ----- ");
} // namespace

namespace HistoryText {

QString Shown(const QString &text) {
  const auto plain = [](QChar c) {
    return c.unicode() >= 0x20 && c != QChar::ParagraphSeparator && c != QChar::LineSeparator;
  };
  // Nearly every line is plain: it is shown as it is, without a copy.
  if (std::all_of(text.begin(), text.end(), plain))
    return text;
  QString shown;
  shown.reserve(text.size());
  for (const QChar c : text) {
    if (!plain(c))
      shown += "/x" + QString("%1").arg(c.unicode(), 2, 16, QChar('0')).toUpper();
    else
      shown += c;
  }
  return shown;
}

QString RequestLine(const ExchangeRecord &record) {
  // Made with room for the reply that completes it, which then goes in
  // without moving the line: a line is made for every exchange.
  constexpr int ReplyRoom = 64;
  QString line;
  line.reserve(TimeStampText::HistoryLength + SendMark.size() + record.requestText.size() + ReplyMark.size() +
               ReplyRoom);
  TimeStampText::AppendHistory(line, record.at);
  line += SendMark;
  line += record.requestText;
  if (record.outcome == ExchangeRecord::Outcome::NotSent)
    line += NotSentMark + record.notSentReason + QStringLiteral("!   ");
  return line;
}

QString NoteLine(const QString &note) { return TimeStampText::History(LocalNow()) + NoteMark + note; }

QString LateDriveLine(int address, int lateMs, int timeoutMs) {
  return NoteLine(LateDriveNote(address, lateMs, timeoutMs));
}

bool CompletesRequestLine(const ExchangeRecord &record) {
  using Outcome = ExchangeRecord::Outcome;
  return record.outcome == Outcome::Accepted || record.outcome == Outcome::ErrorReply ||
         record.outcome == Outcome::NoResponse;
}

// What completes a request's line when its reply came or did not. What an
// echo spoilt is named, as the reply's own bytes cannot tell it.
static QString Completion(const ExchangeRecord &record) {
  using Kind = ReplyRejection::Kind;
  if (record.outcome == ExchangeRecord::Outcome::NoResponse)
    return NoResponseMark;
  QString text = ReplyMark + record.replyText;
  if (record.outcome == ExchangeRecord::Outcome::ErrorReply &&
      (record.rejection.kind == Kind::EchoDiffers || record.rejection.kind == Kind::OwnEcho))
    text += NoteMark + QString::fromStdString(RejectionWords(record.rejection));
  return text;
}

// The line of bytes that came while no request awaited them.
static QString UnaskedLine(const ExchangeRecord &record) {
  return TimeStampText::History(record.at) +
         (record.outcome == ExchangeRecord::Outcome::LateReply ? LateReplyMark : UnaskedMark) +
         record.replyText;
}

QString EndingText(const ExchangeRecord &record) {
  using Outcome = ExchangeRecord::Outcome;
  if (CompletesRequestLine(record))
    return Completion(record);
  if (record.outcome == Outcome::LateReply || record.outcome == Outcome::Unasked)
    return UnaskedLine(record);
  return RequestLine(record);
}

QString NoResponseWords() { return QStringLiteral("No response!"); }

} // namespace HistoryText
