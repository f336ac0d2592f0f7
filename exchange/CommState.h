#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The shared communication state: the pending flags and request texts, the
// wait counters, the activity flags, the record counters and the receive
// texts. Owned by the exchange engine, which alone changes it, and touched
// only on the main thread, so nothing here needs a lock.
struct CommState {
  // Scheduler and wait state
  int TickMs = 80;           // length of one tick; equals the timer interval
  bool WaitingReply = false; // a request to a non-zero address awaits its reply
  int WaitTicks = 0;         // ticks counted while waiting
  int IntervalTicks = 0;     // ticks since the last scan request or sequence step
  bool DataArrived = false;  // received bytes were appended to ReceiveBuffer

  // After a time-out nothing is sent until the line has been quiet for one
  // reply window, so that a late reply is not taken for the next request's.
  bool QuietWindowPending = false;
  int QuietTicks = 0;

  // Pending requests (bodies as hex text, address first)
  bool ControlPending = false;
  std::string ControlFrame;
  bool UserCmdPending = false;
  std::string UserCmdFrame;
  bool UserCmdAwaitingReply = false;
  bool ReadPending = false; // parameter window's read, also driven by read all
  std::string ReadFrame;
  bool ModifyPending = false; // parameter window's modify, also driven by write all
  std::string ModifyFrame;

  // Period scan, as the tick needs it; the scan itself (session/PeriodScan)
  // is the one that sets them.
  bool ScanRunning = false;
  int ScanPeriodMs = 0;

  // User's define sequence
  bool SequenceRunning = false;
  bool StopRequested = false;
  bool SequenceAwaitingReply = false;

  // Read all / write all, common parameters
  bool ReadAllActive = false;
  int ReadAllIndex = 0;
  bool WriteAllActive = false;
  int WriteAllIndex = 0;

  // Counters and texts of the traffic
  int TotalRecords = 0;
  int ErrorRecords = 0;
  int TimeoutRecords = 0;
  // Shown nowhere and never reset, so that a watcher can check that every
  // request ended in exactly one way: replies accepted since start, and
  // receptions judged while no request awaited a reply (a late reply after
  // its time-out, the rest of a split reply).
  long long AcceptedReplies = 0;
  long long UnsolicitedReceptions = 0;
  long long LateReplies = 0;     // received in the quiet window after a time-out, never taken
  long long RejectedReplies = 0; // error replies, also those judged while nothing was awaited
  long long MissedReplies = 0;   // time-outs
  long long AskedAgain = 0;      // requests the engine sent again: their reply could be a copy
  std::string LastSentFrame;
  std::string SentFrameText;
  std::string ReceivedChunk;
  std::string ReceiveBuffer;
  int ReceivedCount = 0;
  // Bytes of the current reply window beyond what any reply can hold; they
  // are counted, not kept (line noise).
  std::size_t ReceivedBeyondLimit = 0;
  static constexpr std::size_t ReplyBytesSize = 50;
  std::array<std::uint8_t, ReplyBytesSize> ReplyBytes{};
  std::string ReplyText;
  std::string ReplyBody;
};
