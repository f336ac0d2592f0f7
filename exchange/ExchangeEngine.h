#pragma once

#include "exchange/CommState.h"
#include "exchange/DriveLateness.h"
#include "exchange/ExchangeJournal.h"
#include "exchange/ExchangeRecord.h"
#include "exchange/LineEcho.h"
#include "exchange/ReplyRepeats.h"
#include "protocol/ReplyCheck.h"
#include "protocol/ReplyRejection.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class QTimer;
class TComm;

// The activities that run through the tick (sequence, read all, write all,
// scan): the tick calls their step when their turn comes. Whoever runs
// exchanges without them (a fuzz run, a program without windows) keeps the
// do-nothing defaults.
class ExchangeSteps {
public:
  virtual ~ExchangeSteps() = default;
  virtual void SequenceStep() {}
  virtual void StopSequence() {}
  virtual int ParameterRecordCount() const { return 0; }
  virtual void ReadAllStep() {}
  virtual bool WriteAllStep() { return true; } // false: write all ended, send nothing
  virtual void SeriesScanStep() {}
  virtual void ArbitraryScanStep() {}
  // false: the scan waits (the drive address is no number).
  virtual bool ScanAddressReady() { return true; }
  // The scan polls more than one drive, so the next request asks another.
  virtual bool ScanAsksSeveralDrives() const { return false; }
};

// All traffic on the serial line: the send timer and its tick, the framing
// and sending of each request, the receive buffer, the reply window and the
// judgment of what arrived, and the record counters. It reads no window: what
// the tick must know of one (the tab shown, the drive address, the scan kind,
// the checksum box) it is told, and what happens on the line it reports by
// signals, in the order it happens. Main thread only.
class TExchangeEngine : public QObject {
  Q_OBJECT
public:
  explicit TExchangeEngine(QObject *parent = nullptr);

private:
  CommState state_;
  friend class EngineStateAccess; // the fuzz run and the engine's own tests set up states

public:
  // The engine's state, to look at; what may change it is asked by the
  // methods below.
  const CommState &State = state_;
  // The reply window, as the settings give it.
  int TimeoutMs = 500;
  QTimer *const Timer; // ticks every State.TickMs
  // The exchanges for those who show or log them (see ExchangeJournal).
  ExchangeJournal *const Journal;

  // The tick's length; the timer follows.
  void SetTickMs(int ms);

  // Requests (bodies as hex text, address first) that the tick sends at
  // their turn: a control command first, then the user's own command, the
  // parameter window's read and its modify. A later one of a kind replaces
  // one not yet sent.
  void QueueControl(const std::string &body);
  void QueueUserCommand(const std::string &body);
  void QueueRead(const std::string &body);
  void QueueModify(const std::string &body);
  void DropQueuedReadAndModify();

  // The activities the tick serves. The scan asks at most once a period;
  // read all and write all stand at their record index.
  void SetScanRunning(bool running);
  void SetScanPeriodMs(int ms);
  void SetSequenceRunning(bool running);
  // Asked while a step's reply is awaited: the tick after it ends the run.
  void SetSequenceStopRequested(bool requested);
  // The request about to go out (or out) is a sequence step: its framing
  // and its reply are the sequence's.
  void SetSequenceAwaitingReply(bool awaiting);
  void SetParameterRun(bool readAll, int readIndex, bool writeAll, int writeIndex);
  // The scan period or the pause between steps is counted anew.
  void RestartInterval();
  // A reply being awaited is timed anew from now.
  void RestartReplyWait();

  void SetPort(TComm *port) { port_ = port; }
  void SetSteps(ExchangeSteps *steps);

  // What the tick and the framing need of the window. A sequence advances,
  // and its ASCII steps may go out without checksum, only while it is shown.
  void SetSequenceShown(bool shown) { sequenceShown_ = shown; }
  void SetMachineId(const QString &text);
  // The drive address the requests go to, as told (a text that may be no number).
  const QString &MachineId() const { return machineId_; }
  void SetScanKind(bool series, bool arbitrary);
  void SetAddChecksum(bool add) { addChecksum_ = add; }

  // Off: a reply is judged when its reply window has passed. On: the moment
  // it is complete, and the next request may go out at once; the port then
  // hands over all it holds in one block (from its next opening on).
  void SetCompleteOnReply(bool on);
  bool CompleteOnReply() const { return completeOnReply_; }

  // Binary frames: RTU, or Modbus TCP.
  bool IsRtuMode() const;
  // Modbus TCP: each request behind the application header instead of a
  // checksum, its reply matched by transaction id. The port's bytes are the
  // program's own then (8 data bits).
  void SetTcpFraming(bool on) { tcp_ = on; }
  bool TcpFraming() const { return tcp_; }

  // Whether the adapter hands each request back before the reply, and what
  // is done with it; what was found stays until the line is set up anew.
  void SetEchoMode(LineEcho::Mode mode) { echo_.SetMode(mode); }
  const LineEcho &Echo() const { return echo_; }

  // One tick of the send timer.
  void Tick();
  // Frames the request body (hex text, address first), sends, logs and counts it.
  void SendFrame(const std::string &body);
  // A piece of bytes from the port.
  void ReceiveData(const char *buffer, unsigned length);
  // The end of a reply window: no response, an error or an accepted reply.
  void WaitHandler();
  // The tick while the line must stay quiet after a time-out.
  void AwaitQuietLine();
  // Zeroes the three record counters.
  void ClearCounters();

  // Why the reply last refused was refused; set before ReplyRejected and the
  // completion of its line.
  const ReplyRejection &LastRejection() const { return lastRejection_; }
  // How late the drives answer, as far as seen since the port was set up.
  const DriveLateness &Lateness() const { return lateness_; }
  // Whether the line repeats replies, as far as seen since the port was set up.
  const ReplyRepeats &Repeats() const { return repeats_; }
  // The port was set up anew: what was learnt of the line, and what came
  // on the line before, no longer holds.
  void ForgetLine();
  // The silence that must separate two frames on this line: 3.5 characters,
  // no less than 1.75 ms.
  double InterFrameMs() const;
  // The silence that ends a reply of unknown length.
  int UnknownLengthSilenceMs() const;

signals:
  // Told the moment it happens, to whoever decides what goes out next; those
  // who only show or log exchanges hear of them from Journal.
  // A request went out and its reply is awaited; ExchangeEnded follows.
  void ExchangeStarted(const ExchangeRecord &record);
  // An exchange ended, told once: a reply taken or refused, none in its
  // window, a request not sent or not answered by design (a broadcast), or
  // bytes that came while no request awaited them.
  void ExchangeEnded(const ExchangeRecord &record);
  // The request was not sent, for `reason` ("port closed", or why its body
  // cannot be framed); ExchangeEnded follows with its record.
  void RequestRefused(const QString &reason);
  // TotalRecords, ErrorRecords or TimeoutRecords changed.
  void CountersChanged();
  // The checks passed; the consumer follows by ReplyDispatched or
  // SequenceReply (a reply to the user's own command goes to none).
  void ReplyAccepted();
  void ReplyDispatched(ReplyConsumer consumer);
  void SequenceReply();
  // A malformed or mismatched reply; `sequenceStep` when it answered one.
  void ReplyRejected(const QString &replyText, bool sequenceStep);
  // Nothing arrived in the reply window.
  void ReplyMissing(bool sequenceStep);
  // The drive at `address` was seen to answer `lateMs` after its request,
  // after its time-out of `timeoutMs`; said once, and again when it answers
  // much later.
  void LateDriveNoted(int address, int lateMs, int timeoutMs);
  // Echo detection found the adapter echoing requests; from now on each
  // echo is discarded. Said once a line.
  void EchoFound();
  // The line sends replies again, `gapMs` after the first; from now on each
  // next request waits for the copy. Said once, and again when copies come
  // much later than before.
  void RepeatsFound(int gapMs);
  // Adapter echo is on, but a read was answered with no echo before it:
  // from now on nothing is discarded. Said once a line.
  void EchoMissing();

private:
  void ExpectReplyInput(const std::string &body, bool rtu);
  bool SendsWithoutChecksum(bool rtu) const;
  void AssembleAsciiReply(const std::string &text);
  void ProcessReply();
  void ErrorReply();
  // The part of the tick that starts a request when nothing is awaited.
  void StartNextRequest();
  // Judges the first `length` characters of the receive buffer now; what
  // follows them stays, as data that came unasked (from `restStartMs`, when known).
  void JudgeCompleteReply(std::size_t length, double restStartMs = -1);
  void CheckReplyComplete();
  void ReceivePiece(const char *buffer, unsigned length);
  // Bytes that belong to the reply (or to whatever came unasked).
  void StoreReceived(const char *buffer, std::size_t length, bool checkComplete);
  // Modbus TCP: judges the frame in the buffer.
  void JudgeTcpReply();
  // Modbus TCP: whole frames at the front of the buffer that answer an
  // earlier request are logged as late and dropped.
  void DropLateTcpFrames();
  // What the echo's end tells of the reply that follows it.
  void NoteEcho(const LineEcho::Taken &taken);
  // The reply window ended while the echo was still looked for.
  void FlushEcho();
  void SilenceEnded();
  double NowMs() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e6; }
  // True when the line has been silent long enough for a request to go out;
  // else the gate opens by itself once it has. A line that never falls
  // silent holds a request back one reply window at the most.
  bool LineSilent();
  void GateOpened();
  // The quiet after a time-out begins (`waitedMs` after the request), and
  // ends with what came in it logged. After a refused reply the drive may
  // still answer: the same quiet, without waiting for a late drive.
  void BeginQuiet(int waitedMs, bool afterRefusal = false);
  void EndQuiet();
  // What arrived while no request awaited it, on one line of its own.
  void LogUnasked(bool late);
  // A copy of a reply taken lately came while no request awaited it: the
  // line repeats replies. Logged at once, so the next request goes out.
  void TakeUnaskedCopy(double startMs);
  // A complete reply copies one taken for another request: something more
  // came after it, so it was the copy, and the request is asked again.
  void RefuseHeldCopy();
  void NoteRepeat(double gapMs);
  // A write's confirmation repeats it byte for byte, as its echo does: on a
  // line whose echo is not known yet, a read of the same drive goes first.
  bool NeedsEchoProbe(const std::string &body) const;
  // The probe ended: the request it held back goes out next.
  void EndEchoProbe();
  // In the buffer: a right reply to the request sent last, with no echo before it.
  bool BufferAnswersRequest() const;
  void NoteNoEcho();
  // The buffer holds a reply to the request and an exact copy of it: the
  // copy is cut off and returned, the line noted as one that repeats.
  std::string SplitOffCopy();
  // Judges the buffer as the framing's reply.
  void JudgeFraming();
  // A refused reply that is a timed-out request's answer tells how late its
  // drive is.
  bool NoteLateAnswer(const std::string &replyBody, const std::string &request, double sentMs,
                      double arrivedMs);
  void TellPortAnyByte();
  // The record of a request about to go out (or refused).
  ExchangeRecord RequestRecord(const std::string &body, const QString &text) const;
  // The request is on the line: started when its reply is awaited, else ended.
  void RequestWentOut(const std::string &body, const QString &text);
  // The record of bytes judged while no request awaited them.
  ExchangeRecord UnaskedRecord() const;
  // Tells the exchange's record to those who decide and to the journal.
  void TellStarted(const ExchangeRecord &record);
  void TellEnded(ExchangeRecord &&record);
  // The exchange in flight ends (or bytes nobody awaited were judged).
  void EndExchange(ExchangeRecord::Outcome outcome, ReplyConsumer consumer = ReplyConsumer::None);

  TComm *port_ = nullptr;
  ExchangeSteps defaultSteps_;
  ExchangeSteps *steps_ = &defaultSteps_;
  bool sequenceShown_ = false;
  QString machineId_ = QStringLiteral("1");
  bool machineIdNumber_ = true;     // the address told is a number
  bool machineIdBroadcast_ = false; // it is "0"
  bool seriesScan_ = true;
  bool arbitraryScan_ = false;
  bool addChecksum_ = true;
  bool completeOnReply_ = false;
  QTimer *const silence_;  // ends an RTU reply of unknown length
  QTimer *const lineGate_; // starts the next request once the line is silent
  QElapsedTimer clock_;
  double lastByteMs_ = -1e9;    // when the latest bytes came in
  double firstBufferedMs_ = -1; // when the bytes in the buffer began to come
  double gateWaitSinceMs_ = -1; // since when a request waits for silence
  double sentMs_ = 0;           // when the request awaited went out
  int closedMs_ = 0;            // tick time since a request found the port closed
  ReplyRejection lastRejection_;
  bool lastAccepted_ = false; // the reply judged last was taken
  DriveLateness lateness_;
  ReplyRepeats repeats_;
  // The complete reply in the buffer (its length) copies one taken for
  // another request: it is judged when the window ends, unless more comes.
  std::size_t heldCopy_ = 0;
  double heldEndMs_ = 0;   // when the held reply's last byte came
  double heldAfterMs_ = 0; // when what followed it began
  bool refuseAsCopy_ = false;
  bool copyLearnt_ = false;  // a reply and its copy were seen in one window
  bool copyAwaited_ = false; // the line repeats; the last reply's copy has not come yet
  bool probing_ = false;     // the read in flight learns whether the line echoes
  // Sent before anything else: the request an echo probe went ahead of, or
  // one whose reply a copy made doubtful.
  std::string resend_;
  bool resending_ = false;
  bool reasking_ = false; // the refusal being told is followed by the request again
  int reasked_ = 0;       // times the request in flight was asked again
  static constexpr int MostAskedAgain = 2;
  LineEcho echo_;
  bool tcp_ = false;
  std::uint16_t transaction_ = 0; // of the request sent last
  // Transaction ids of the requests before it, whose replies are late now.
  std::vector<std::uint16_t> earlierTransactions_;
  bool answered_ = true; // the request sent last got its reply (or none was sent)
  // A frame with another request's id came while this one's reply was
  // awaited; the exchange is named by it if its own reply never comes.
  int strayTransaction_ = -1;
  std::string strayFrame_;
  bool echoDiffers_ = false; // the echo due first was not the request's bytes
  bool echoInReply_ = false; // the request came back and was not discarded
  ExchangeRecord current_;   // the request in flight
  // The length of the request that came back as the reply, all of which it shows.
  std::size_t echoedBytes_ = 0;
  // The quiet after a time-out: the request that timed out, and how long
  // nothing may be sent.
  // Counted in ticks, as the reply window is.
  struct Quiet {
    int address = -1;
    std::string request;
    double sentMs = 0;   // clock time of the request, for how late its answer is
    int sinceSentMs = 0; // tick time from the request to its time-out
    int elapsedMs = 0;   // tick time since the time-out
    int holdMs = 0;      // since the request: a reply as late as the drive may be has passed
    int endByMs = 0;     // since the time-out: the latest end, however the line chatters
    bool probe = false;  // the first time-out of a read: is the drive absent or late?
    double firstByteMs = -1;
  } quiet_;
};
