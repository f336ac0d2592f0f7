#pragma once

#include <QDateTime>
#include <QString>

// One exchange on the line as the traffic log keeps it: the request and the
// reply as the history pane shows them, how it ended and how long the drive
// took to answer.
struct TrafficLogLine {
  enum class Direction {
    Request,    // a request we sent, with its reply if one came
    Unsolicited // data judged while no request awaited a reply
  };
  enum class Outcome {
    Accepted,
    ErrorReply,
    NoResponse,
    NotSent,
    NoReplyAwaited // a broadcast, or a request the tool does not wait for
  };

  QDateTime sentAt; // local time of the request (of the reception when unsolicited)
  Direction direction = Direction::Request;
  QString port;
  QString mode; // "ASCII" or "RTU"
  QString request;
  QString reply;
  Outcome outcome = Outcome::NoReplyAwaited;
  QString reason;          // why an error reply was refused or a request not sent
  double roundTripMs = -1; // request to the last byte of the reply; negative when none came
};

// The log file's first line.
QString ExchangeCsvHeader();
// One line of the log file, without the line break. Fields holding a comma,
// a quote or a line break are quoted, quotes doubled.
QString ExchangeCsvLine(const TrafficLogLine &record);
QString OutcomeName(TrafficLogLine::Outcome outcome);
