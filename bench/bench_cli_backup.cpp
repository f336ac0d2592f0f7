// Requests per second of vossek-drive-cli backup on a line paced at its baud
// rate, against libmodbus reading the same registers one after the other on
// the same simulated line. Both rates are taken from the simulator's side,
// from the first request it saw to the last reply it sent, so the program's
// start-up is left out of both; the wall time of the whole backup, start-up
// included, is printed as well.
#include "params/ParameterCodes.h"
#include "params/ParameterCompare.h"
#include "settings/ShippedTables.h"
#include "sim/DriveSimulator.h"

#include "bench/LibmodbusRtu.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <modbus.h>
#include <mutex>

namespace {
using Clock = std::chrono::steady_clock;

// The simulator in this process, noting when it saw the first request and
// sent the last reply.
struct TimedSimulator {
  std::unique_ptr<DriveSimulator> sim;
  std::mutex mutex;
  int requests = 0;
  Clock::time_point first, last;

  bool Start(int baud) {
    SimOptions options;
    options.rtu = true;
    options.baud = baud;
    options.log = [this](const std::string &line) {
      std::lock_guard lock(mutex);
      if (line.rfind("RX ", 0) == 0 && requests++ == 0)
        first = Clock::now();
      else if (line.rfind("TX ", 0) == 0)
        last = Clock::now();
    };
    sim = std::make_unique<DriveSimulator>(options);
    if (!sim->Start()) {
      std::fprintf(stderr, "simulator: %s\n", sim->Error().c_str());
      return false;
    }
    return true;
  }
  double Rate() {
    std::lock_guard lock(mutex);
    const double seconds = std::chrono::duration<double>(last - first).count();
    return requests > 1 && seconds > 0 ? (requests - 1) / seconds : 0;
  }
};

// The registers backup reads: every named record but the "Reserved" ones.
std::vector<int> BackupRegisters(const QString &folder) {
  std::vector<int> registers;
  for (const ParameterCompare::Record &record : ParameterCompare::ReadTable(folder, "RM40.DBF"))
    if (record.name != "Reserved")
      registers.push_back(std::stoi(ParameterRegister(record.code.mid(1).toStdString()), nullptr, 16));
  return registers;
}

struct Result {
  double rate = 0;
  int requests = 0;
  double wallSeconds = 0;
};

Result RunCli(const QString &folder, int baud) {
  TimedSimulator sim;
  Result result;
  if (!sim.Start(baud))
    return result;
  QProcess cli;
  QElapsedTimer wall;
  wall.start();
  cli.start(QCoreApplication::applicationDirPath() + "/../vossek-drive-cli",
            {"backup", "--out", folder + "/backup.dbf", "--table", folder + "/RM40.DBF", "--port",
             QString::fromStdString(sim.sim->SlavePath()), "--mode", "rtu", "--baud", QString::number(baud),
             "--timeout", "1000", "--quiet"});
  if (!cli.waitForFinished(600000) || cli.exitCode() != 0) {
    std::fprintf(stderr, "vossek-drive-cli: exit %d %s\n", cli.exitCode(),
                 cli.readAllStandardError().constData());
    return result;
  }
  result.wallSeconds = wall.elapsed() / 1000.0;
  result.rate = sim.Rate();
  result.requests = sim.requests;
  return result;
}

Result RunLibmodbus(const std::vector<int> &registers, int baud) {
  TimedSimulator sim;
  Result result;
  if (!sim.Start(baud))
    return result;
  modbus_t *ctx = OpenLibmodbusRtu(sim.sim->SlavePath(), baud);
  if (!ctx)
    return result;
  std::uint16_t value = 0;
  int errors = 0;
  QElapsedTimer wall;
  wall.start();
  for (int reg : registers)
    errors += modbus_read_registers(ctx, reg, 1, &value) != 1;
  result.wallSeconds = wall.elapsed() / 1000.0;
  if (errors)
    std::fprintf(stderr, "libmodbus: %d failed reads\n", errors);
  modbus_close(ctx);
  modbus_free(ctx);
  result.rate = sim.Rate();
  result.requests = sim.requests;
  return result;
}
} // namespace

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  QTemporaryDir folder;
  CreateRm40Table(folder.path().toStdString());
  const std::vector<int> registers = BackupRegisters(folder.path());
  std::printf("backup of the delivered table (%zu reads), RTU, simulator paced at the baud rate\n",
              registers.size());
  std::printf("%-6s %-10s %-10s %-10s %-10s %-10s %-7s\n", "baud", "cli req/s", "cli reqs", "cli wall s",
              "libmodbus", "lm wall s", "ratio");
  for (const int baud : {9600, 38400}) {
    const Result cli = RunCli(folder.path(), baud);
    const Result peer = RunLibmodbus(registers, baud);
    std::printf("%-6d %-10.1f %-10d %-10.2f %-10.1f %-10.2f %-7.2f\n", baud, cli.rate, cli.requests,
                cli.wallSeconds, peer.rate, peer.wallSeconds, peer.rate > 0 ? cli.rate / peer.rate : 0.0);
  }
  return 0;
}
