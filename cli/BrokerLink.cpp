#include "cli/BrokerLink.h"

#include "cli/CliContext.h"
#include "cli/CliError.h"
#include "cli/NetworkText.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <QRandomGenerator>
#include <chrono>
#include <cstdio>
#include <mosquitto.h>
#include <mqtt_protocol.h>

namespace {
constexpr int KeepAliveSeconds = 15;
constexpr int FirstDelayMs = 1000;
constexpr int LongestDelayMs = 16000;

// Up to a quarter more or less than ms.
int Jittered(int ms) {
  return ms * 3 / 4 + static_cast<int>(QRandomGenerator::global()->bounded(ms / 2 + 1));
}

// What is received is commands, each a few dozen bytes, a few a minute:
// anyone who may publish there gets no more of the monitor than this.
constexpr int MostReceivedBytes = 1024;
constexpr int MostWaiting = 16;
constexpr double ReceivedPerSecond = 10;
constexpr double ReceivedBurst = 20;
// A monitor's state is well below this; a larger claim is no monitor's.
constexpr int MostClaimBytes = 16 * 1024;
// Events remembered at QoS 0 until the broker's echo confirms them.
constexpr std::size_t MostUnconfirmed = 100000;

QByteArray Bytes(const QString &text) { return text.toUtf8(); }

// Debian's CAs, for a TLS broker given without --mqtt-ca.
constexpr const char *SystemCaFolder = "/etc/ssl/certs";

// What the operator must mend when a TLS connection failed with `error`
// (OpenSSL's words); empty when it may pass by itself (the broker or a
// proxy in front of it restarting: "unexpected eof", a reset).
QString TlsRefusal(const QString &error, const BrokerSettings &settings) {
  const QString ca = settings.caFile.isEmpty() ? QStringLiteral("this machine's CAs (or give --mqtt-ca)")
                                               : "--mqtt-ca " + settings.caFile;
  const QString cert = settings.certFile.isEmpty()
                           ? QStringLiteral("it wants a client certificate: give --mqtt-cert and --mqtt-key")
                           : "check --mqtt-cert " + settings.certFile;
  if (error.contains("certificate verify failed"))
    return "the broker's certificate is not trusted (" + error + ") by " + ca + ", or not made out to " +
           settings.host;
  if (error.contains("certificate required") || error.contains("bad certificate") ||
      error.contains("unknown ca") || error.contains("certificate unknown") ||
      error.contains("certificate expired"))
    return "the broker refused our certificate (" + error + "): " + cert;
  if (error.contains("wrong version number") || error.contains("packet length too long"))
    return "the broker's port speaks no TLS (" + error + "): give mqtt:// or its TLS port";
  if (error.contains("key values mismatch") || error.contains("PEM") || error.contains("no start line"))
    return error + ": check --mqtt-cert " + settings.certFile + " and --mqtt-key " + settings.keyFile;
  return {};
}
} // namespace

BrokerLink::BrokerLink(const BrokerSettings &settings) : settings_(settings) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { mosquitto_lib_init(); });
  client_ = mosquitto_new(nullptr, true, this);
  if (!client_)
    throw CliError::BadInput("cannot make an MQTT client");
  mosquitto_threaded_set(client_, true);
  mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // Each state goes out as it is made, not held back for the next one.
  mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
  mosquitto_connect_callback_set(client_, OnConnect);
  mosquitto_disconnect_callback_set(client_, OnDisconnect);
  mosquitto_message_callback_set(client_, OnMessage);
  mosquitto_publish_callback_set(client_, OnPublish);
  mosquitto_subscribe_callback_set(client_, OnSubscribe);
  mosquitto_log_callback_set(client_, OnLog);
  clock_.start();
  if (!settings_.user.isEmpty())
    mosquitto_username_pw_set(client_, Bytes(settings_.user).constData(),
                              settings_.password.isEmpty() ? nullptr : Bytes(settings_.password).constData());
  if (settings_.tls) {
    const QByteArray ca = Bytes(settings_.caFile), cert = Bytes(settings_.certFile),
                     key = Bytes(settings_.keyFile);
    // A key that wants a passphrase fails rather than asks on a terminal.
    const auto noPassphrase = [](char *, int, int, void *) { return 0; };
    const int rc = mosquitto_tls_set(
        client_, ca.isEmpty() ? nullptr : ca.constData(), ca.isEmpty() ? SystemCaFolder : nullptr,
        cert.isEmpty() ? nullptr : cert.constData(), key.isEmpty() ? nullptr : key.constData(), noPassphrase);
    if (rc != MOSQ_ERR_SUCCESS) {
      mosquitto_destroy(client_);
      throw CliError::BadInput("TLS files cannot be used (--mqtt-ca, --mqtt-cert, --mqtt-key): " +
                               QString::fromUtf8(mosquitto_strerror(rc)));
    }
  }
  if (!settings_.willTopic.isEmpty()) {
    const int rc = mosquitto_will_set(client_, Bytes(settings_.willTopic).constData(),
                                      static_cast<int>(settings_.willPayload.size()),
                                      settings_.willPayload.constData(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS) {
      mosquitto_destroy(client_);
      throw CliError::BadInput("the last will on " + settings_.willTopic +
                               " cannot be set: " + QString::fromUtf8(mosquitto_strerror(rc)));
    }
  }
  thread_ = std::thread([this] { Run(); });
}

BrokerLink::~BrokerLink() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  mosquitto_destroy(client_);
}

bool BrokerLink::Pause(int ms) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void BrokerLink::Run() {
  const QString where = QStringLiteral("%1:%2").arg(settings_.host).arg(settings_.port);
  int delayMs = FirstDelayMs;
  bool reported = false; // the broker's absence is noted once per gap
  for (bool first = true;; first = false) {
    {
      std::lock_guard lock(mutex_);
      if (stop_ || !refusal_.isEmpty())
        return;
    }
    {
      std::lock_guard tlsLock(tlsMutex_);
      tlsError_.clear();
    }
    int rc = first ? mosquitto_connect(client_, Bytes(settings_.host).constData(), settings_.port,
                                       KeepAliveSeconds)
                   : mosquitto_reconnect(client_);
    const int connectionsBefore = Connections();
    const bool reached = rc == MOSQ_ERR_SUCCESS;
    {
      std::lock_guard lock(mutex_);
      answered_ = false;
    }
    while (rc == MOSQ_ERR_SUCCESS) {
      rc = mosquitto_loop(client_, 100, 1);
      std::lock_guard lock(mutex_);
      if (stop_)
        return;
      if (claimRead_ && !ready_ && refusal_.isEmpty())
        BeReady();
    }
    std::unique_lock lock(mutex_);
    Lost();
    if (closing_ || !refusal_.isEmpty())
      return;
    QString why = QString::fromUtf8(mosquitto_strerror(rc));
    if (why.endsWith('.'))
      why.chop(1);
    // A TLS 1.3 broker tells of a certificate it wants after the handshake:
    // the connection is then lost with OpenSSL's complaint.
    if (rc == MOSQ_ERR_TLS || (settings_.tls && HasTlsError())) {
      std::lock_guard tlsLock(tlsMutex_);
      if (const QString refusal = TlsRefusal(tlsError_, settings_); !refusal.isEmpty()) {
        Refuse("TLS connection to the broker at " + where + " failed: " + refusal);
        return;
      }
      why = "TLS: " + (tlsError_.isEmpty() ? QStringLiteral("connection closed") : tlsError_);
      tlsError_.clear();
    }
    if (!unavailable_.isEmpty())
      why = std::exchange(unavailable_, {});
    // A TLS listener closes on an MQTT greeting without a word.
    if (reached && !answered_ && !settings_.tls)
      why += ", closed before the broker answered: is it a TLS port (mqtts://)?";
    const bool wasUp = connections_ > connectionsBefore;
    lock.unlock();
    if (wasUp) {
      delayMs = FirstDelayMs; // it was up: start the back-off afresh
      reported = false;
    }
    if (!reported && !settings_.quiet)
      CliCommands::Note("broker at " + where + " not reachable (" + why + "): polling goes on, trying again");
    reported = true;
    if (!Pause(Jittered(delayMs)))
      return;
    delayMs = std::min(delayMs * 2, LongestDelayMs);
  }
}

bool BrokerLink::HasTlsError() {
  std::lock_guard tlsLock(tlsMutex_);
  return !tlsError_.isEmpty();
}

void BrokerLink::Refuse(const QString &reason) {
  if (refusal_.isEmpty())
    refusal_ = reason;
}

void BrokerLink::OnConnect(mosquitto *client, void *self, int rc) {
  auto *link = static_cast<BrokerLink *>(self);
  std::lock_guard lock(link->mutex_);
  link->answered_ = true;
  if (rc != 0) {
    const BrokerSettings &settings = link->settings_;
    const QString said = QString::fromUtf8(mosquitto_connack_string(rc));
    // 3, server unavailable, passes by itself; the others want the operator.
    if (rc == CONNACK_REFUSED_SERVER_UNAVAILABLE) {
      link->unavailable_ = said;
    } else {
      const QString mend =
          rc == CONNACK_REFUSED_PROTOCOL_VERSION      ? QStringLiteral("the broker does not speak MQTT 3.1.1")
          : rc == CONNACK_REFUSED_IDENTIFIER_REJECTED ? QStringLiteral("the broker wants another client id")
          : settings.user.isEmpty()
              ? QStringLiteral("the broker wants a user: give --mqtt-user and --mqtt-password-file")
              : "check --mqtt-user " + settings.user + " and --mqtt-password-file " + settings.passwordFile +
                    (rc == CONNACK_REFUSED_NOT_AUTHORIZED
                         ? QStringLiteral(", and the broker's rules for them")
                         : QString());
      link->Refuse(QStringLiteral("the broker at %1:%2 refused the connection: %3 (%4)")
                       .arg(settings.host)
                       .arg(settings.port)
                       .arg(said, mend));
    }
    mosquitto_disconnect(client);
    return;
  }
  link->connected_ = true;
  if (!link->settings_.quiet)
    CliCommands::Note(QStringLiteral("connected to the broker at %1:%2")
                          .arg(link->settings_.host)
                          .arg(link->settings_.port));
  // Nothing is published before the claim is read: the retained claim
  // comes right after the first subscription's answer, so it is in by the
  // second's.
  const QByteArray claim = Bytes(link->settings_.claimTopic);
  mosquitto_subscribe(client, nullptr, claim.constData(), 0);
  mosquitto_subscribe(client, &link->claimReadMid_, claim.constData(), 0);
}

void BrokerLink::OnSubscribe(mosquitto *, void *self, int mid, int, const int *) {
  auto *link = static_cast<BrokerLink *>(self);
  std::lock_guard lock(link->mutex_);
  if (mid == link->claimReadMid_)
    link->claimRead_ = true;
}

void BrokerLink::BeReady() {
  ready_ = true;
  ++connections_;
  // Read once: our own states need not come back.
  mosquitto_unsubscribe(client_, nullptr, Bytes(settings_.claimTopic).constData());
  for (const QString &pattern : subscriptions_)
    mosquitto_subscribe(client_, nullptr, Bytes(pattern).constData(), settings_.qos);
  // What the client library sends again from before the loss is on its way
  // by now: what follows is fresher. Events first, in the order they
  // happened, then every state as it is now.
  while (!events_.empty() && Send(events_.front().first, events_.front().second, false))
    events_.pop_front();
  for (const auto &[topic, payload] : states_)
    Send(topic, payload, true);
}

void BrokerLink::TakeClaim(const QByteArray &payload) {
  const QJsonObject claim = QJsonDocument::fromJson(payload).object();
  // The same monitor started again takes over its own claim; another one
  // online on the prefix is not overwritten.
  if (!ready_ && claim.value("status").toString() == "online" &&
      claim.value("monitor_id").toString() != settings_.monitorId) {
    // Gone without the will: it would mark the other monitor offline.
    mosquitto_disconnect(client_);
    Refuse("another monitor (" + NetworkText(claim.value("monitor_id").toString(), 80) + ") publishes on " +
           settings_.claimTopic + ": stop it, or give this one another --topic");
  }
}

void BrokerLink::OnDisconnect(mosquitto *, void *self, int) {
  auto *link = static_cast<BrokerLink *>(self);
  std::lock_guard lock(link->mutex_);
  link->Lost();
}

void BrokerLink::Lost() {
  connected_ = ready_ = claimRead_ = false;
  // At QoS 0 what the broker had not confirmed when the link died may be gone.
  eventsLost_ += static_cast<long long>(unconfirmed_.size());
  if (!unconfirmed_.empty() && !settings_.quiet)
    CliCommands::Note(QStringLiteral("%1 events sent since the broker last answered may be lost with the "
                                     "connection (QoS 0; counted in events_lost)")
                          .arg(unconfirmed_.size()));
  unconfirmed_.clear();
}

void BrokerLink::OnMessage(mosquitto *, void *self, const mosquitto_message *message) {
  auto *link = static_cast<BrokerLink *>(self);
  std::lock_guard lock(link->mutex_);
  if (link->settings_.claimTopic == message->topic) {
    if (message->payloadlen <= MostClaimBytes)
      link->TakeClaim(QByteArray(static_cast<const char *>(message->payload), message->payloadlen));
    return;
  }
  const double now = link->clock_.elapsed() / 1000.0;
  link->allowance_ =
      std::min(ReceivedBurst, link->allowance_ + (now - link->allowanceAt_) * ReceivedPerSecond);
  link->allowanceAt_ = now;
  if (message->payloadlen > MostReceivedBytes || link->allowance_ < 1 ||
      static_cast<int>(link->received_.size()) >= MostWaiting) {
    ++link->receivedDropped_;
    return;
  }
  link->allowance_ -= 1;
  link->received_.push_back({QString::fromUtf8(message->topic),
                             QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
                             message->retain});
}

void BrokerLink::OnPublish(mosquitto *, void *self, int mid) {
  auto *link = static_cast<BrokerLink *>(self);
  link->lastDelivered_ = mid;
  std::lock_guard lock(link->mutex_);
  // The broker has our state, and so everything sent before it.
  if (mid == link->confirmMid_)
    while (!link->unconfirmed_.empty() && link->unconfirmed_.front() < link->confirmSeq_)
      link->unconfirmed_.pop_front();
}

void BrokerLink::OnLog(mosquitto *, void *self, int level, const char *text) {
  if (level != MOSQ_LOG_ERR || !QByteArray(text).startsWith("OpenSSL Error"))
    return;
  auto *link = static_cast<BrokerLink *>(self);
  std::lock_guard lock(link->tlsMutex_);
  // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
  link->tlsError_ = QString::fromUtf8(text).section(':', -1).trimmed();
}

QByteArray BrokerLink::Stamped(const QByteArray &payload) {
  // {"seq":N,...}: one count over all the monitor sends, so that a consumer
  // tells the fresher of two messages whatever the order they came in.
  return "{\"seq\":" + QByteArray::number(++seq_) + (payload.size() > 2 ? "," : "") + payload.mid(1);
}

bool BrokerLink::Send(const QString &topic, const QByteArray &payload, bool retain) {
  // The monitor's own state goes at QoS 1 whatever the rest do: its answer
  // from the broker confirms, at QoS 0, the events sent before it.
  const bool claim = topic == settings_.claimTopic;
  int mid = -1;
  const bool sent =
      mosquitto_publish(client_, &mid, Bytes(topic).constData(), static_cast<int>(payload.size()),
                        payload.constData(), claim ? 1 : settings_.qos, retain) == MOSQ_ERR_SUCCESS;
  if (sent && claim) {
    confirmMid_ = mid;
    confirmSeq_ = seq_;
  }
  return sent;
}

void BrokerLink::PublishState(const QString &topic, const QByteArray &payload) {
  std::lock_guard lock(mutex_);
  const QByteArray stamped = states_[topic] = Stamped(payload);
  if (ready_)
    Send(topic, stamped, true);
}

void BrokerLink::PublishEvent(const QString &topic, const QByteArray &payload) {
  std::lock_guard lock(mutex_);
  const QByteArray stamped = Stamped(payload);
  if (ready_ && Send(topic, stamped, false)) {
    if (settings_.qos == 0 && unconfirmed_.size() < MostUnconfirmed)
      unconfirmed_.push_back(seq_);
    return;
  }
  // A full queue gives up its oldest: the latest events say most of now.
  if (settings_.eventBound == 0) {
    ++dropped_;
    return;
  }
  if (static_cast<int>(events_.size()) >= settings_.eventBound) {
    events_.pop_front();
    ++dropped_;
  }
  events_.emplace_back(topic, stamped);
}

void BrokerLink::Subscribe(const QString &pattern) {
  std::lock_guard lock(mutex_);
  subscriptions_.push_back(pattern);
  if (connected_)
    mosquitto_subscribe(client_, nullptr, Bytes(pattern).constData(), settings_.qos);
}

std::vector<BrokerMessage> BrokerLink::TakeMessages() {
  std::lock_guard lock(mutex_);
  return std::exchange(received_, {});
}

int BrokerLink::Connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

long long BrokerLink::ReceivedDropped() const {
  std::lock_guard lock(mutex_);
  return receivedDropped_;
}

long long BrokerLink::EventsLost() const {
  std::lock_guard lock(mutex_);
  return eventsLost_;
}

long long BrokerLink::EventsDropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

QString BrokerLink::Refusal() const {
  std::lock_guard lock(mutex_);
  return refusal_;
}

void BrokerLink::Close(const QString &topic, const QByteArray &payload, int waitMs) {
  int mid = -1;
  {
    std::lock_guard lock(mutex_);
    const QByteArray stamped = states_[topic] = Stamped(payload);
    closing_ = true;
    if (!ready_)
      return;
    mosquitto_publish(client_, &mid, Bytes(topic).constData(), static_cast<int>(stamped.size()),
                      stamped.constData(), 1, true);
  }
  for (int waited = 0; waited < waitMs && lastDelivered_ != mid; waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  mosquitto_disconnect(client_);
}
