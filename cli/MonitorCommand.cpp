// monitor: polls drives on one port without end and publishes their state,
// their events and its own state to an MQTT broker; takes control commands
// from the broker only when told to.
#include "cli/BrokerCommand.h"
#include "cli/BrokerLink.h"
#include "cli/CliContext.h"
#include "cli/CliError.h"
#include "cli/DriveWatch.h"
#include "cli/MonitorSettings.h"
#include "cli/NetworkText.h"
#include "cli/RequestTally.h"
#include "drive/ControlLamps.h"
#include "drive/RequestBodies.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <map>

namespace {
using namespace CliCommands;

volatile std::sig_atomic_t stopAsked = 0;
void AskStop(int) { stopAsked = 1; }

// While waiting for the next round, commands are looked for this often.
constexpr int CommandLookMs = 20;
// How often the port's state and the broker's connection are looked at.
constexpr int LookAroundMs = 200;
// How long the goodbye may take to reach the broker.
constexpr int CloseWaitMs = 2000;
// Messages dropped unread are told at most this often: a flood is one line.
constexpr qint64 DroppedNoteMs = 10000;

class PlantMonitor {
public:
  PlantMonitor(CliContext &context, const MonitorSettings &settings)
      : context_(context), settings_(settings), broker_(settings.broker),
        judge_(settings.prefix, settings.commands) {
    for (int address : settings_.addresses)
      watches_.try_emplace(address, address, settings_.lostAfter, settings_.stateEverySeconds * 1000LL);
    // Without commands nothing is taken from the broker at all: what is
    // not subscribed cannot be sent to the monitor.
    if (settings_.commands.accept)
      broker_.Subscribe(settings_.prefix + "/+/command");
    clock_.start();
  }

  int Run() {
    while (!stopAsked) {
      const qint64 roundStart = clock_.elapsed();
      for (int address : settings_.addresses) {
        Poll(address);
        Serve();
        if (stopAsked)
          break;
      }
      while (!stopAsked && clock_.elapsed() - roundStart < settings_.periodMs) {
        QElapsedTimer slice;
        slice.start();
        WaitUntil(slice,
                  std::min<qint64>(CommandLookMs, settings_.periodMs - (clock_.elapsed() - roundStart)));
        Serve();
      }
    }
    broker_.Close(MonitorTopic(), MonitorState("offline"), CloseWaitMs);
    return 0;
  }

private:
  CliContext &context_;
  const MonitorSettings &settings_;
  BrokerLink broker_;
  CommandJudge judge_;
  std::map<int, DriveWatch> watches_;
  RequestTally tally_;
  QElapsedTimer clock_;
  qint64 statePublishedMs_ = -1;
  qint64 lookedMs_ = 0;
  QString portState_;
  int connections_ = 0;
  long long droppedNoted_ = 0;
  qint64 droppedNotedMs_ = -DroppedNoteMs;

  QString MonitorTopic() const { return settings_.prefix + "/monitor"; }
  QString DriveTopic(int address, const char *what) const {
    return QStringLiteral("%1/%2/%3").arg(settings_.prefix).arg(address).arg(what);
  }

  void Poll(int address) {
    const ExchangeOutcome outcome = context_.Link().Exchange(RequestBodies::Status(address));
    DriveReading reading;
    reading.time = QDateTime::currentDateTimeUtc();
    const qint64 now = clock_.elapsed();
    reading.status = StatusOf(outcome);
    if (reading.status) {
      tally_.Count(RequestTally::Kind::Answered, now);
    } else {
      reading.missReason = NoStatusReason(context_, outcome);
      tally_.Count(outcome.kind == ExchangeOutcome::Kind::Missing ? RequestTally::Kind::Timeout
                                                                  : RequestTally::Kind::Error,
                   now);
    }
    const DriveWatch::Report report = watches_.at(address).Take(reading, now);
    for (const QByteArray &event : report.events)
      broker_.PublishEvent(DriveTopic(address, "event"), event);
    if (!report.state.isEmpty())
      broker_.PublishState(DriveTopic(address, "state"), report.state);
  }

  // Commands from the broker, the monitor's own state when due, and the
  // end when the broker will not have us.
  void Serve() {
    if (const QString refusal = broker_.Refusal(); !refusal.isEmpty())
      throw CliError(CliStatus::BrokerRefused, refusal);
    for (const BrokerMessage &message : broker_.TakeMessages())
      Obey(message);
    if (const long long dropped = broker_.ReceivedDropped();
        dropped != droppedNoted_ && clock_.elapsed() - droppedNotedMs_ >= DroppedNoteMs) {
      if (!context_.quiet)
        Note(
            QStringLiteral("%1 command messages dropped unread (larger than 1 KiB, or more than 10 a second)")
                .arg(dropped - droppedNoted_));
      droppedNoted_ = dropped;
      droppedNotedMs_ = clock_.elapsed();
    }
    // The port and the broker are looked at a few times a second, not
    // between every two requests at line rate.
    const qint64 now = clock_.elapsed();
    if (statePublishedMs_ >= 0 && now - lookedMs_ < LookAroundMs)
      return;
    lookedMs_ = now;
    const QString portState = context_.Link().PortState();
    const int connections = broker_.Connections();
    if (statePublishedMs_ < 0 || portState != portState_ || connections != connections_ ||
        now - statePublishedMs_ >= std::max(settings_.stateEverySeconds, 1) * 1000LL) {
      if (portState != portState_ && !context_.quiet)
        Note(context_.line.port + ": " + portState);
      portState_ = portState;
      connections_ = connections;
      statePublishedMs_ = now;
      broker_.PublishState(MonitorTopic(), MonitorState("online"));
    }
  }

  void Obey(const BrokerMessage &message) {
    const BrokerCommand command =
        judge_.Judge(message.topic, message.payload, message.retained, QDateTime::currentDateTimeUtc());
    const QString resultTopic = message.topic + "/result";
    if (!command.refusal.isEmpty()) {
      if (!context_.quiet)
        Note("command on " + NetworkText(message.topic, 80) + " refused: " + command.refusal);
      broker_.PublishEvent(resultTopic, command.Result("refused", command.refusal));
      return;
    }
    const ExchangeOutcome outcome = context_.Link().Exchange(
        RequestBodies::Control(command.address, ControlCode(static_cast<ControlCommand>(command.code))));
    if (outcome.kind == ExchangeOutcome::Kind::Accepted)
      broker_.PublishEvent(resultTopic, command.Result("done"));
    else
      broker_.PublishEvent(resultTopic, command.Result("failed", OutcomeText(context_, outcome)));
  }

  QByteArray MonitorState(const QString &status) {
    const qint64 now = clock_.elapsed();
    const RequestTally::Figures total = tally_.Total();
    const RequestTally::Figures minute = tally_.LastMinute(now);
    QJsonArray addresses;
    for (int address : settings_.addresses)
      addresses.append(address);
    const QJsonObject state{{"status", status},
                            {"port", context_.line.port},
                            {"port_state", context_.Link().PortState()},
                            {"addresses", addresses},
                            {"requests", total.requests},
                            {"errors", total.errors},
                            {"timeouts", total.timeouts},
                            {"requests_per_minute", minute.requests},
                            {"errors_per_minute", minute.errors},
                            {"timeouts_per_minute", minute.timeouts},
                            {"monitor_id", settings_.broker.monitorId},
                            {"run", settings_.broker.run},
                            {"events_dropped", broker_.EventsDropped()},
                            {"events_lost", broker_.EventsLost()},
                            {"commands_dropped", broker_.ReceivedDropped()},
                            {"commands", settings_.commands.accept},
                            {"time", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
  }
};
} // namespace

namespace CliCommands {

int Monitor(CliContext &context) {
  const MonitorSettings settings = MonitorSettings::From(context.args, context.line.port, context.address);
  // A port that does not open is tried again, as the window does, and
  // reported on PREFIX/monitor.
  context.line.keepTrying = true;
#ifdef __GLIBC__
  // A large message from the broker is read whole by the client library;
  // memory that large goes back to the system once it is freed, rather than
  // staying with a monitor that runs for months.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
  std::signal(SIGTERM, AskStop);
  std::signal(SIGINT, AskStop);
  // A closed terminal or session ends it as a stop does: "offline", not the will.
  std::signal(SIGHUP, AskStop);
  PlantMonitor monitor(context, settings);
  return monitor.Run();
}

} // namespace CliCommands
