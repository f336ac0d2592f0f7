#pragma once

#include "drive/StatusDecoding.h"
#include "protocol/FrameCodec.h"
#include "session/DiscoveryPlan.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <string>
#include <vector>

class TComm;

// A drive that answered the status read.
struct FoundDrive {
  int address = 0;
  DiscoveryPlan::LineTrial line;
  DriveStatusTexts status; // decoded; empty when the drive refused the read
  QString state;           // the running state or fault name, or why the drive refused
  bool echo = false;       // the adapter handed the request back before the reply
};

// A drive that answered its status read after its time, while a later
// address was asked: a drive is there, but its answer is not taken; a
// search with `allowanceMs` hears it in time.
struct LateReply {
  int address = 0;
  DiscoveryPlan::LineTrial line;
  int answerMs = 0;    // from its request going out to its answer's start
  int allowanceMs = 0; // what to search with to hear it in time
};

// Something at `address` sent bytes that fail the checks of a reply at this
// setting: perhaps a device at another setting.
struct SuspectReply {
  int address = 0;
  DiscoveryPlan::LineTrial line;
  QString why;   // "wrong checksum", "no frame", ...
  QString bytes; // as received: hex pairs (RTU) or the characters (ASCII),
                 // as much as a reply can hold, then how much more came
};

// Where to look: the port, the addresses, the settings in the order tried.
struct DiscoverySearch {
  QString port;
  int from = 1;
  int to = 247;
  std::vector<DiscoveryPlan::LineTrial> trials;
  bool stopAtFirst = false;
  int allowanceMs = DiscoveryPlan::DeliveredAllowanceMs;
};

enum class DiscoveryEnd {
  Searched,   // every address at every setting
  FirstFound, // stopped at the first drive, as asked
  Stopped,    // stopped by the user
  PortFailed, // the port did not open (see the message)
  LineLost    // the port went away during the search (see the message)
};

// Finds drives whose line settings are not known: it opens the port itself,
// at each setting in turn, and reads the status block of every address. An
// address is given its request's time on the line and ListenUs, no reply
// window: most addresses of a search are silent. A reply that has begun may
// pause as long as a reply may take to start, but no address holds the
// search longer than AddressLimitUs, however the line chatters. The port is
// closed again when the search ends, so the window may take it back.
class DriveDiscovery : public QObject {
  Q_OBJECT
public:
  explicit DriveDiscovery(QObject *parent = nullptr);
  ~DriveDiscovery() override;

  // Starts at once; false when a search is already running. A port that
  // does not open ends the search with PortFailed.
  bool Start(const DiscoverySearch &search);
  // Ends the search at once, a request on the line or not.
  void Stop();
  bool Running() const { return running_; }
  // Since Start; once ended, the search's whole time.
  qint64 ElapsedMs() const { return running_ ? clock_.elapsed() : elapsedMs_; }

signals:
  void DriveFound(const FoundDrive &drive);
  void SuspectAnswer(const SuspectReply &reply);
  void LateAnswer(const LateReply &reply);
  // Bytes kept coming at `address` for all of its time: someone else talks
  // on the line. Said once for each setting.
  void LineBusy(int address, const DiscoveryPlan::LineTrial &line);
  // The address whose request has just gone out; `trialsDone` settings of
  // `trialsTotal` are behind.
  void Progress(int trialsDone, int trialsTotal, int address, const DiscoveryPlan::LineTrial &line);
  // `message`: why the port failed, or where the line went away and which
  // addresses were not tried.
  void Finished(DiscoveryEnd end, const QString &message);

private:
  // A request of the present setting: to whom, when, and in Modbus TCP under
  // which transaction id.
  struct Asked {
    int address = 0;
    qint64 atMs = 0;
    std::uint16_t transaction = 0;
    Unit request;
  };

  void BeginTrial();
  void SendRequest();
  void Received(const char *data, std::uint16_t length);
  // Listens `us` longer, but not past the address's limit.
  void ListenFor(std::int64_t us);
  // What has arrived is the reply, whole or all there will be.
  void Judge();
  // The earlier request of this setting that `reply` answers in full, if any.
  const Asked *AnsweredEarlier(const Unwrapped &reply) const;
  void Listened();
  void LineGone();
  void Next();
  void Finish(DiscoveryEnd end, const QString &message = {});
  // "the line went away at …; addresses not tried: …"
  QString LostText() const;
  // Drops an echo of the request at the start of what has arrived (an
  // adapter that hears its own transmission); false while what is there may
  // still be the echo's beginning.
  bool PastEcho();

  TComm *comm_;
  QTimer listen_;
  QElapsedTimer clock_;
  DiscoverySearch search_;
  bool running_ = false;
  std::size_t trial_ = 0;
  int address_ = 0;
  Unit request_;                    // the status read
  std::vector<std::uint8_t> sent_;  // the request's bytes on the line
  std::vector<std::uint8_t> heard_; // what came back since, as much as a reply can hold
  std::size_t dropped_ = 0;         // and how much more
  bool echoChecked_ = false;
  bool echoed_ = false;
  bool capped_ = false;     // the listening ends at the address's limit
  bool askedAgain_ = false; // this address, once a late answer took its time
  bool busySaid_ = false;
  qint64 limitMs_ = 0;   // on clock_, when the address's time is over
  qint64 answerMs_ = -1; // on clock_, when its answer began
  std::uint16_t transaction_ = 0;
  std::vector<Asked> asked_;
  qint64 elapsedMs_ = 0;
};

Q_DECLARE_METATYPE(FoundDrive)
Q_DECLARE_METATYPE(SuspectReply)
Q_DECLARE_METATYPE(LateReply)
