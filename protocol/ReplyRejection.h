#pragma once

#include <string>

enum class ReplyFault;

// Why a reply was not taken, as the traffic log, the command-line program
// and the end of a run name it.
struct ReplyRejection {
  enum class Kind {
    Checksum,    // LRC or CRC wrong
    Address,     // another drive's address
    Function,    // another function
    Length,      // byte count or length not that of the request's reply
    Value,       // a write's reply that repeats another register or value
    Exception,   // the drive refused: exceptionCode says why
    Malformed,   // no frame: ASCII without ':' or CR LF, or not hex digits
    OverLong,    // more bytes than any reply holds
    NoiseBefore, // a right reply with bytes before it that belong to no frame
    Unasked,     // a frame while no request awaited one
    EchoDiffers, // the echo due first was not the request's bytes: a collision, a wiring fault
    OwnEcho,     // the request came back, where its echo is not discarded
    Transaction, // Modbus TCP: another request's transaction id
    Protocol,    // Modbus TCP: a protocol id other than 0
    LengthField, // Modbus TCP: a length field that disagrees with the frame
    Repeated     // a copy of a reply another request had: the line repeats replies
  };
  Kind kind = Kind::Malformed;
  int exceptionCode = 0;
  int transaction = -1; // Transaction: the id the reply carried

  bool operator==(const ReplyRejection &) const = default;
};

// "wrong checksum", "exception 02", "noise before the frame", ...
std::string RejectionWords(const ReplyRejection &rejection);

// Why the reply that failed CheckReply against `lastSent` (the request body,
// hex text, address first) was refused. replyText and replyBody are as the
// receive path keeps them: in ASCII a well-formed frame's text is ":" + body
// + the CR LF marks.
ReplyRejection ClassifyRejection(const std::string &replyText, const std::string &replyBody,
                                 const std::string &lastSent, bool rtu);

// The rejection a reply check's fault names; a reply without fault that is
// still refused is malformed.
ReplyRejection RejectionOfFault(ReplyFault fault);
