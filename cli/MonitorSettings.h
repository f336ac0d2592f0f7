#pragma once

#include "cli/BrokerCommand.h"
#include "cli/BrokerLink.h"
#include "cli/CliOptions.h"

#include <QString>
#include <set>
#include <vector>

// What the monitor subcommand is told: the broker, the topics, the drives
// polled and how often, and who may send commands.
struct MonitorSettings {
  static constexpr int DefaultStateEverySeconds = 10;
  static constexpr int DefaultLostAfter = 3;
  static constexpr int DefaultEventQueue = 1000;

  BrokerSettings broker;
  QString prefix;             // topics are PREFIX/ADDRESS/state, PREFIX/monitor, ...
  std::vector<int> addresses; // polled in this order
  int periodMs = 0;           // a round starts this long after the last began; 0: at line rate
  int stateEverySeconds = DefaultStateEverySeconds; // a state is sent again at least this often
  int lostAfter = DefaultLostAfter;                 // polls in a row without a status block before "lost"
  CommandPermission commands; // whether commands are taken from the broker, and for which drives

  // From the options (a configuration file's already among them); CliError
  // (bad input) for anything that does not hold. `port` names the default
  // topic prefix; `address` is polled when --addresses is not given.
  static MonitorSettings From(const CliArguments &args, const QString &port, int address);
};

// A topic level for a port: "ttyUSB0" for /dev/ttyUSB0, "COM3",
// "tcp-10.0.0.5-502" for tcp:10.0.0.5:502.
QString PortTopicName(const QString &port);
