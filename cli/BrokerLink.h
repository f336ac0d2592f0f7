#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct mosquitto;
struct mosquitto_message;

// Where and as whom the monitor publishes.
struct BrokerSettings {
  QString host;
  int port = 1883;
  bool tls = false;
  QString caFile, certFile, keyFile; // TLS: the broker's CA, our certificate and key
  QString user, password;
  QString passwordFile; // where the password came from, for the messages
  int qos = 0;
  QString willTopic; // the broker publishes willPayload there, retained, when we vanish
  QByteArray willPayload;
  // PREFIX/monitor: the retained state of the monitor that publishes on
  // the prefix, with its monitorId (this machine and port) and its run (this
  // process).
  QString claimTopic, monitorId, run;
  int eventBound = 1000; // events kept while the broker is away
  bool quiet = false;    // no notes on stderr
};

struct BrokerMessage {
  QString topic;
  QByteArray payload;
  bool retained = false; // from the broker's store, not as it was sent
};

// The connection to the MQTT broker, kept by a thread of its own: it
// connects, and after a loss connects again with a back-off of 1 s doubling
// up to 16 s (a quarter more or less at random, so that many monitors do
// not knock all at once). While the broker is away nothing is lost
// silently: the latest state of each topic is kept and every state is sent
// again at each connection (the retained copies are current once back);
// events wait in order up to the bound, the oldest giving way, counted.
// Every message carries "seq", one count over all sent. At each connection
// nothing is published before the prefix's claim is read: another
// monitor's claim ends the connection (Refusal()); and what is published
// then comes after whatever the client library sends again from before, so
// no stale state lands after a fresh one.
// What the operator must mend ends the connection for good, and Refusal()
// says what and with which file: credentials refused, a broker's
// certificate not trusted or not the host's, our certificate refused, TLS
// to a port without it. What passes by itself is tried again: a broker
// "unavailable" for now, a TLS connection cut (a proxy in front of a broker
// that restarts).
class BrokerLink {
public:
  // CliError (bad input) when the TLS files cannot be used.
  explicit BrokerLink(const BrokerSettings &settings);
  ~BrokerLink();
  BrokerLink(const BrokerLink &) = delete;
  BrokerLink &operator=(const BrokerLink &) = delete;

  // A retained message whose latest payload is what counts.
  void PublishState(const QString &topic, const QByteArray &payload);
  // A message each of which counts, not retained.
  void PublishEvent(const QString &topic, const QByteArray &payload);
  // Subscribed at each connection; give before the first connection ends.
  void Subscribe(const QString &pattern);
  // Messages received on the subscriptions since the last call: up to 16
  // waiting, of 1 KiB at most, 10 a second (20 at once); the rest are
  // dropped unread and counted.
  std::vector<BrokerMessage> TakeMessages();
  long long ReceivedDropped() const;

  // Connections made so far: a new one means the broker is back.
  int Connections() const;
  // Events that did not fit the bound while the broker was away (the
  // oldest give way), in all.
  long long EventsDropped() const;
  // Events sent at QoS 0 that the broker had not confirmed (by its answer
  // to a later state of the monitor's own) when the connection turned out
  // dead.
  long long EventsLost() const;
  // Why the broker will not have us; empty while it may.
  QString Refusal() const;

  // Publishes a last retained state (the monitor's "offline"), waits up to
  // waitMs for it to leave, and disconnects, so the last will is not sent.
  void Close(const QString &topic, const QByteArray &payload, int waitMs);

private:
  BrokerSettings settings_;
  mosquitto *client_ = nullptr;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool closing_ = false; // disconnected on purpose: no more attempts
  bool connected_ = false;
  bool claimRead_ = false; // the retained claim on the prefix is in
  bool ready_ = false;     // connected, the claim is ours: publishing
  int claimReadMid_ = -1;
  long long seq_ = 0;
  long long eventsLost_ = 0;
  std::deque<long long> unconfirmed_; // seqs of events sent at QoS 0 not yet confirmed
  int confirmMid_ = -1;               // the last state of ours on the claim topic, and its seq
  long long confirmSeq_ = 0;
  int connections_ = 0;
  long long dropped_ = 0;
  QString refusal_;
  QString unavailable_;   // the broker said it cannot serve now: tried again
  bool answered_ = false; // a CONNACK came on this attempt
  // The library's last TLS complaint, under a lock of its own: it may come
  // while a publish holds the other.
  std::mutex tlsMutex_;
  QString tlsError_;
  std::vector<QString> subscriptions_;
  std::map<QString, QByteArray> states_;
  std::deque<std::pair<QString, QByteArray>> events_; // waiting for the broker
  std::vector<BrokerMessage> received_;
  long long receivedDropped_ = 0;
  QElapsedTimer clock_;
  double allowance_ = 20, allowanceAt_ = 0; // messages that may be taken now, and when that was so
  std::atomic<int> lastDelivered_{-1};

  void Run();
  // Sleeps up to ms unless told to stop; false when told to.
  bool Pause(int ms);
  void Refuse(const QString &reason);
  bool HasTlsError();
  void BeReady();
  void Lost();
  void TakeClaim(const QByteArray &payload);
  QByteArray Stamped(const QByteArray &payload);
  // Hands a message to the client; false when it is not connected.
  bool Send(const QString &topic, const QByteArray &payload, bool retain);
  static void OnConnect(mosquitto *, void *self, int rc);
  static void OnDisconnect(mosquitto *, void *self, int rc);
  static void OnMessage(mosquitto *, void *self, const mosquitto_message *message);
  static void OnPublish(mosquitto *, void *self, int mid);
  static void OnSubscribe(mosquitto *, void *self, int mid, int count, const int *granted);
  static void OnLog(mosquitto *, void *self, int level, const char *text);
};
