#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <thread>

class TComm;
class TAcquiredPort;

// Keeps the port that the settings name open and says how it stands. When the
// device goes away (a hang-up: adapter pulled out, server gone) the port is
// closed and, as after an open that failed, the same name is tried again
// every second until it opens; requests meanwhile time out as on any dead
// line. Each attempt runs on a thread of its own, since a TCP serial server
// that does not answer holds it for the whole connect time: the window never
// waits for it.
class TPortKeeper : public QObject {
  Q_OBJECT
public:
  enum class State {
    Closed, // not opened by the settings (yet), or closed on purpose
    Open,
    Failed, // the settings' open failed; trying again
    Lost,   // the device went away while open; trying again
  };

  static constexpr int RetryIntervalMs = 1000;

  // Takes over the component's OnRequestHangup.
  explicit TPortKeeper(TComm *comm, QObject *parent = nullptr);
  ~TPortKeeper() override;

  // The settings are about to close the port: attempts under way are
  // dropped and no more are made.
  void Forget();
  // The settings have just opened the port, or tried to: follow it from here.
  void Follow();

  State CurrentState() const;
  // The state in a few words for the status bar ("port open", "port failed:
  // No such device", "port closed: device gone", ...).
  QString Summary() const { return Text(false); }
  // The same with what the window has no room for: the reason behind a
  // note and that the port is tried again ("port failed: No such device;
  // trying again every second").
  QString Describe() const { return Text(true); }

signals:
  void StateChanged();

private:
  QString Text(bool full) const;
  void HangUp();
  // The port is open: no more attempts, and the state says so.
  bool EnterIfOpen();
  void TryAgain();
  void Attempted(std::uint64_t generation, TAcquiredPort &port);
  void Enter(State state, const QString &reason);
  void JoinAttempt();

  TComm *comm_;
  QTimer retry_;
  State state_ = State::Closed;
  QString reason_;
  bool lostOverTcp_ = false;
  // Counts Forget and Follow, so that an attempt started before either is
  // recognised as stale when it reports.
  std::uint64_t generation_ = 0;
  bool attempting_ = false;
  std::thread attempt_;
};
