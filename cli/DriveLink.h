#pragma once

#include "exchange/ExchangeEngine.h"
#include "portwatch/PortKeeper.h"
#include "protocol/ReplyRejection.h"
#include "serial/TComm.h"

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

// The line as the command-line program sees it.
struct LineOptions {
  QString port;
  bool rtu = false; // RTU, or TCP
  bool tcp = false; // Modbus TCP
  std::uint32_t baud = 9600;
  TParity parity = TParity::None;
  TStopBits stopBits = TStopBits::_1;
  int timeoutMs = 500;
  bool verbose = false; // every frame on stderr, as the history pane shows it
  bool quiet = false;   // no notes on stderr
  LineEcho::Mode echo = LineEcho::Mode::Off;
  bool keepTrying = false; // a port that does not open is tried again, not an error
};

// How one request ended.
struct ExchangeOutcome {
  enum class Kind {
    Accepted,  // the reply passed every check
    Rejected,  // malformed, mismatched or an exception reply
    Missing,   // nothing came within the reply window
    Broadcast, // sent; no drive answers a broadcast
    Refused    // not sent: the body cannot be framed
  };
  Kind kind = Kind::Missing;
  std::vector<std::uint8_t> bytes; // accepted or rejected: the reply, checksum included
  QString replyText;               // as the history shows it
  ReplyRejection rejection;        // rejected: why
  QString refusal;                 // refused: why it was not sent

  // A drive's refusal: rejection.exceptionCode says why.
  bool IsException() const {
    return kind == Kind::Rejected && rejection.kind == ReplyRejection::Kind::Exception;
  }
};

// The serial port and the exchange engine, run by a Qt event loop one
// request at a time: Exchange sends and returns once the engine has judged
// the reply (at once when it is complete) or its reply window has passed.
class DriveLink {
public:
  // Opens the port; raises CliError (port failed) with the system's reason,
  // unless the options say to keep trying.
  explicit DriveLink(const LineOptions &options);
  ~DriveLink();
  DriveLink(const DriveLink &) = delete;
  DriveLink &operator=(const DriveLink &) = delete;

  ExchangeOutcome Exchange(const std::string &body);
  // A step of a command list: sent as the sequence runner sends it, without
  // its checksum when the list's settings say so.
  ExchangeOutcome ExchangeStep(const std::string &body, bool addChecksum);
  // "connection closed" (a TCP serial server) or "device gone" while the port
  // is lost and tried again every second; empty while it is open.
  QString LineLost() const;
  // How the port stands: "port open", "port failed: No such device", ...
  QString PortState() const { return keeper_.Summary(); }
  // Replies that came after their time-out and were not taken, since the
  // port was opened.
  long long LateReplies() const { return engine_.State.LateReplies; }
  // Requests the engine asked again because their reply could be a copy.
  long long AskedAgain() const { return engine_.State.AskedAgain; }

private:
  TComm comm_;
  TPortKeeper keeper_{&comm_}; // reopens the port after a hang-up
  TExchangeEngine engine_;
  bool awaiting_ = false;
  bool sent_ = false; // the awaited request is on the line
  ExchangeOutcome outcome_;
  // --verbose: the request on the line, printed with its ending in one
  // piece, so that a note said meanwhile never splits it
  QString openRequest_;
  class QEventLoop *loop_ = nullptr;
  // An exchange ended: the request's own ends the wait.
  void ExchangeEnded(const ExchangeRecord &record);
  void Finish(const ExchangeRecord &record);
};
