#pragma once

#include "exchange/ExchangeRecord.h"

#include <QString>

// The history pane's text of the exchanges: the one place that knows how a
// line reads. A request's line is made when it goes out (or is refused, or
// goes out unanswered) and completed when its exchange ends; bytes that no
// request awaited and notes of late drives stand on lines of their own.
namespace HistoryText {

// Control characters of a malformed reply (a CR LF in the middle, a stray
// byte) are written "/xHH", so that a line stays one line.
QString Shown(const QString &text);

// The line of a request: sent, broadcast, or not sent with its reason.
QString RequestLine(const ExchangeRecord &record);
// The line that tells how late a drive answers, made now.
QString LateDriveLine(int address, int lateMs, int timeoutMs);
// A line of its own that says what was learnt of the line.
QString NoteLine(const QString &note);

// Whether an ended exchange completes the line of its request (else it is a
// line of its own).
bool CompletesRequestLine(const ExchangeRecord &record);
// The text an ended exchange adds: the completion of its request's line, or
// its line of its own (a request not sent or unanswered by design, bytes that
// no request awaited).
QString EndingText(const ExchangeRecord &record);

// What the history says of a request that got no answer; the sequence's
// grid and the command-line program say it too.
QString NoResponseWords();

} // namespace HistoryText
