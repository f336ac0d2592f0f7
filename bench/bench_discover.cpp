// The search for drives at unknown settings against the drive simulator on a
// pseudo-terminal: the whole range 1-247 at one setting (RTU and ASCII at
// 9600 baud) with no drive present, and a search over every setting for one
// drive at 19200 baud 8E1 RTU, address 17, stopping at it. Printed: the total
// time, the cost of a silent address against its floor (the request on the
// line plus the stated wait: the drive's allowance and four characters), and
// the same searches by a pymodbus client loop with the same waits, run
// here and now. A Linux pseudo-terminal keeps the rate a program sets but
// clears the parity bit, so the drive answers at 19200 8E1, 8N1 and 8O1
// alike there; even parity is tried first at each rate and finds it.
// The pymodbus loop is no search at these waits: its serial client gives up
// a read after a few milliseconds whatever its time-out, before most
// answers are in, so it is quicker than the floor and finds nothing; and the
// serial library under it cannot set 7 data bits on this pseudo-terminal, so
// it skips the ASCII settings (printed as skipped).
// Goals: one setting at 9600 baud in under 15 s; the search for drive 17 in
// under 3 minutes.
// Usage: bench_discover [ours]   ("ours" leaves pymodbus out)
#include "session/DriveDiscovery.h"
#include "sim/DriveSimulator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {
using DiscoveryPlan::LineTrial;

constexpr int Allowance = DiscoveryPlan::DeliveredAllowanceMs;

struct SearchFigures {
  double seconds = 0;
  int found = 0;
  int trials = 0; // settings begun
  QString first;  // the first drive found: "17 RTU 19200 8E1"
};

std::unique_ptr<DriveSimulator> StartSimulator(std::vector<int> drives, std::map<int, DriveLine> lines,
                                               int baud) {
  SimOptions options;
  options.followRequestMode = true;
  options.drives = std::move(drives);
  options.driveLines = std::move(lines);
  options.baud = baud; // replies paced as on the line
  auto sim = std::make_unique<DriveSimulator>(options);
  if (!sim->Start()) {
    std::fprintf(stderr, "simulator: %s\n", sim->Error().c_str());
    return nullptr;
  }
  return sim;
}

SearchFigures RunOurs(const std::string &port, const std::vector<LineTrial> &trials, bool first) {
  DriveDiscovery discovery;
  SearchFigures figures;
  QObject::connect(&discovery, &DriveDiscovery::DriveFound, [&](const FoundDrive &drive) {
    if (figures.found++ == 0)
      figures.first = QString::number(drive.address) + " " + DiscoveryPlan::TrialText(drive.line);
  });
  QObject::connect(&discovery, &DriveDiscovery::Progress,
                   [&](int done, int, int, const LineTrial &) { figures.trials = done + 1; });
  QEventLoop loop;
  QObject::connect(&discovery, &DriveDiscovery::Finished, &loop, &QEventLoop::quit);
  DiscoverySearch search;
  search.port = QString::fromStdString(port);
  search.trials = trials;
  search.stopAtFirst = first;
  search.allowanceMs = Allowance;
  discovery.Start(search);
  if (discovery.Running())
    loop.exec();
  figures.seconds = discovery.ElapsedMs() / 1000.0;
  return figures;
}

// The same search by a pymodbus client: a client per setting, the status
// read at each address with the same wait as a time-out, no retries. The
// serial library under it refuses a parity bit on a pseudo-terminal, which
// carries none anyway: it asks for none. A setting whose port it cannot set
// up (7 data bits, at times) is skipped and counted.
const char *const PymodbusSearch = R"(
import logging, sys, time
from pymodbus.client import ModbusSerialClient
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer
logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
path, allowance, first = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "1"
found, skipped, start = [], 0, time.monotonic()
for trial in sys.argv[4:]:
    mode, baud, parity = trial.split(":")
    baud, rtu = int(baud), mode == "rtu"
    bits = 1 + (8 if rtu else 7) + (0 if parity == "N" else 1) + 1
    request = 8 if rtu else 17
    wait = (request + 4) * bits / baud + allowance / 1000
    client = ModbusSerialClient(path, framer=ModbusRtuFramer if rtu else ModbusAsciiFramer, baudrate=baud,
                                bytesize=8 if rtu else 7, parity="N", stopbits=1, timeout=wait, retries=0)
    try:
        for address in range(1, 248):
            reply = client.read_holding_registers(0x1000, 6, slave=address)
            if not reply.isError():
                found.append(address)
                if first:
                    break
    except Exception:
        skipped += 1
    client.close()
    if first and found:
        break
print(time.monotonic() - start, len(found), skipped)
)";

SearchFigures RunPymodbus(const std::string &port, const std::vector<LineTrial> &trials, bool first) {
  QStringList arguments = {"-c", PymodbusSearch, QString::fromStdString(port), QString::number(Allowance),
                           first ? "1" : "0"};
  for (const LineTrial &trial : trials)
    arguments << QStringLiteral("%1:%2:%3")
                     .arg(trial.rtu ? "rtu" : "ascii")
                     .arg(trial.baud)
                     .arg(DiscoveryPlan::ParityLetter(trial.parity));
  QProcess python;
  python.start("/usr/bin/python3", arguments);
  SearchFigures figures;
  if (!python.waitForFinished(1800000) || python.exitCode() != 0) {
    std::fprintf(stderr, "pymodbus: %s\n", python.readAllStandardError().constData());
    return figures;
  }
  const QStringList out = QString::fromUtf8(python.readAllStandardOutput()).split(' ');
  figures.seconds = out.value(0).toDouble();
  figures.found = out.value(1).toInt();
  if (const int skipped = out.value(2).toInt(); skipped > 0)
    figures.first = QStringLiteral("(%1 settings it could not set up skipped)").arg(skipped);
  return figures;
}

// The least the addresses searched can take: each address its request and
// the stated wait (the answering one too: a lower bound).
double FloorSeconds(const std::vector<LineTrial> &trials, int trialsBegun, int lastAddresses) {
  std::int64_t us = 0;
  for (int i = 0; i < trialsBegun; ++i)
    us += DiscoveryPlan::SilentAddressUs(trials[i], Allowance) * (i + 1 < trialsBegun ? 247 : lastAddresses);
  return us / 1e6;
}

void PrintRow(const char *who, const char *what, const SearchFigures &figures, double floorSeconds,
              int addresses) {
  std::printf("%-9s %-34s %8.2f s  %7.2f ms/address  floor %7.2f ms/address (%.2f s)  found %d %s\n", who,
              what, figures.seconds, addresses ? figures.seconds * 1000 / addresses : 0.0,
              addresses ? floorSeconds * 1000 / addresses : 0.0, floorSeconds, figures.found,
              qPrintable(figures.first));
}
} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const bool withPymodbus = !(argc > 1 && std::strcmp(argv[1], "ours") == 0);
  std::printf("drive allowance %d ms + 4 characters after each request\n\n", Allowance);

  // One setting, nobody there.
  for (const LineTrial &trial :
       {LineTrial{true, 9600, TParity::None}, LineTrial{false, 9600, TParity::None}}) {
    auto sim = StartSimulator({}, {}, 9600);
    if (!sim)
      return 1;
    const std::string what = "1-247 at " + DiscoveryPlan::TrialText(trial).toStdString() + ", empty";
    const double floor = FloorSeconds({trial}, 1, 247);
    PrintRow("ours", what.c_str(), RunOurs(sim->SlavePath(), {trial}, false), floor, 247);
    if (withPymodbus)
      PrintRow("pymodbus", what.c_str(), RunPymodbus(sim->SlavePath(), {trial}, false), floor, 247);
  }

  // Every setting, likely first, until drive 17 at 19200 8E1 RTU answers.
  const std::vector<LineTrial> all = DiscoveryPlan::OrderedTrials({});
  auto sim = StartSimulator({17}, {{17, DriveLine{19200, 'E', FrameMode::Rtu}}}, 19200);
  if (!sim)
    return 1;
  const SearchFigures ours = RunOurs(sim->SlavePath(), all, true);
  const double floor = FloorSeconds(all, ours.trials, 17);
  const int addresses = (ours.trials - 1) * 247 + 17;
  PrintRow("ours", "all settings to drive 17 (first)", ours, floor, addresses);
  std::printf("          settings tried %d of %zu, addresses %d\n", ours.trials, all.size(), addresses);
  if (withPymodbus) {
    sim = StartSimulator({17}, {{17, DriveLine{19200, 'E', FrameMode::Rtu}}}, 19200);
    if (sim)
      PrintRow("pymodbus", "all settings to drive 17 (first)", RunPymodbus(sim->SlavePath(), all, true),
               floor, addresses);
  }
  std::printf("\ngoals: one setting at 9600 under 15 s; drive 17 found under 180 s\n");
  return 0;
}
