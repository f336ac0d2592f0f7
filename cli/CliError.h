#pragma once

#include <QString>
#include <stdexcept>

// How vossek-drive-cli ends. Scripts test these numbers, so they never change.
enum class CliStatus : int {
  Success = 0,
  DriveFailed = 1,   // a drive answered with an error or did not answer
  BadInput = 2,      // bad usage or input; nothing was sent
  PortFailed = 3,    // the port could not be opened
  BrokerRefused = 3, // the broker refused the monitor's credentials, or its certificate failed
};

// Ends a subcommand with its message for stderr and its exit status.
class CliError : public std::runtime_error {
public:
  CliError(CliStatus status, const QString &message)
      : std::runtime_error(message.toStdString()), status_(status) {}
  CliStatus Status() const { return status_; }
  static CliError BadInput(const QString &message) { return {CliStatus::BadInput, message}; }
  static CliError DriveFailed(const QString &message) { return {CliStatus::DriveFailed, message}; }

private:
  CliStatus status_;
};
