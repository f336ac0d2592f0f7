#pragma once

#include "protocol/ReplyCheck.h"
#include "protocol/ReplyRejection.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

// One exchange on the line as the engine saw it: what went out, what came
// back and how it ended. The engine tells each exchange once when it ends,
// and a request that awaits its reply also when it goes out; watchers read
// the fields, never a display text.
struct ExchangeRecord {
  enum class Outcome {
    Awaiting,   // sent, its reply awaited (told when it goes out)
    Accepted,   // the reply passed every check
    ErrorReply, // a reply came and was refused, for `rejection`
    NoResponse, // nothing came in the reply window
    NotSent,    // refused before it went out, for `notSentReason`
    Broadcast,  // sent to address 0 or otherwise unanswered: no reply awaited
    LateReply,  // bytes in the quiet after a time-out, not taken
    Unasked     // bytes that came before a request went out, not taken
  };

  Outcome outcome = Outcome::Awaiting;
  // A request that waited for its reply; false for a broadcast, a request
  // not sent, and bytes judged while no request awaited them.
  bool awaited = false;
  // When the request went out (was refused); for bytes nobody asked for,
  // when they were judged.
  QDateTime at;

  std::string requestBody; // hex text, address first, no checksum
  QString requestText;     // the frame as it went out (its CR LF written "/x0D/x0A")
  int address = -1;        // of the request body
  int function = -1;

  QString replyText; // as received: ASCII characters, RTU bytes in hex
  std::vector<std::uint8_t> replyBytes;
  ReplyRejection rejection; // ErrorReply only
  QString notSentReason;    // NotSent only

  // A read's first register and the words read; a write's register and value.
  int registerAddress = -1;
  std::vector<std::uint16_t> values;
  ReplyConsumer consumer = ReplyConsumer::None; // where an accepted reply went
  bool sequenceStep = false;                    // a step of the user's sequence
  bool userCommand = false;                     // the user's own command

  double roundTripMs = -1; // request to the last byte of the reply; negative when none came
  QString port;
  bool rtu = false; // RTU, or TCP (binary frames too)
  bool tcp = false; // Modbus TCP
};

// The local time now, to the millisecond, without a time zone lookup per call.
QDateTime LocalNow();
