#pragma once

#include "cli/CliOptions.h"
#include "cli/DriveLink.h"
#include "cli/RecordOutput.h"
#include "drive/StatusDecoding.h"
#include "settings/SettingsRecords.h"

#include <QElapsedTimer>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

// What every subcommand works with: its arguments, the line and drive
// address to use, the parameter table, the output, and the link, which is
// opened only when a subcommand first sends, after its input is checked.
struct CliContext {
  CliArguments args;
  LineOptions line;
  int address = 1;
  QString tablePath;
  QString tableName;        // the table as messages name it
  TProtocolSettings stored; // the stored settings the options start from
  RecordOutput output{RecordOutput::Format::Text};
  bool quiet = false;
  int askedAgain = 0; // requests asked once more after a failure

  DriveLink &Link() {
    if (!link_)
      link_ = std::make_unique<DriveLink>(line);
    return *link_;
  }
  // Raises CliError (bad input) saying the subcommand needs `what` when fewer
  // than `least` words follow it.
  void RequireWords(int least, const QString &what) const;

private:
  std::unique_ptr<DriveLink> link_;
};

// The subcommands; each returns the exit status or raises CliError.
namespace CliCommands {
int Status(CliContext &context);
int Scan(CliContext &context);
int Control(CliContext &context);
int Read(CliContext &context);
int Write(CliContext &context);
int Backup(CliContext &context);
int Restore(CliContext &context);
int Compare(CliContext &context);
int Run(CliContext &context);
int Discover(CliContext &context);
int Monitor(CliContext &context);

// A drive address 0..247 ("0" only where a broadcast may go), or CliError.
int ParseAddress(const QString &text, bool broadcastAllowed);
// Drive addresses as "1-5" (either way round) or "1,3,4", or CliError.
std::vector<int> AddressList(const QString &text);
// "No response", "connection closed" and the like, for a request that did
// not succeed.
QString OutcomeText(CliContext &context, const ExchangeOutcome &outcome);
// The status a drive's answer to a status read tells, or none.
std::optional<DriveStatusTexts> StatusOf(const ExchangeOutcome &outcome);
// Why a status read told no status: "not a status block", or what became of it.
QString NoStatusReason(CliContext &context, const ExchangeOutcome &outcome);
// Prints a line to stderr.
void Note(const QString &text);
// Runs the event loop until `ms` have passed on `clock` (at once when they have).
void WaitUntil(const QElapsedTimer &clock, qint64 ms);
} // namespace CliCommands
