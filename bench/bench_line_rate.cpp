// Requests per second on a line paced at its baud rate: the program's read
// all over the delivered table and a status scan, with replies judged at the
// end of their reply window (fastest settings: reply window 0) and as soon
// as they are complete (scan period 0), next to libmodbus and a pymodbus
// client reading the same registers in a loop against the same simulator.
// An adapter that echoes (echo): RTU 9600 with the option on, the simulator
// handing each request back and the program discarding it, against the same
// without echo. On a real line the echo comes back while the request goes
// out; on a pseudo-terminal the request takes no time and the simulator
// sends the echo after it, so the echo's own time is taken off for the ratio.
// Modbus TCP on loopback (option on): read all and the scan against the
// simulator serving Modbus TCP, next to libmodbus's TCP client, with the CPU
// each request costs either. One pass of read all is over in milliseconds
// there, so passes follow each other for as long as a scan runs; the rate is
// that within the passes, the CPU that of the whole run, the ends of the
// passes (the table stored, the grid filled) included.
// libmodbus has no ASCII mode; the line's own bound (the reply's characters
// at 10 bits each) is printed too. Also: the time from a reply's last byte to
// its value shown (median, 99th percentile) and the program's CPU use, with
// libmodbus's own beside it (its loop does nothing but read).
// Usage: bench_line_rate [seconds per scan, default 4] [off-mode read-all requests, default 30]
//                        [case words ...]
// Case words pick the rows to run: each must name the row's mode (rtu,
// ascii, tcp), baud (9600, 38400), activity (readall, scan) or option (on, off);
// "ours" leaves the peers out; "pinned" runs everything on one CPU.
// "bench_line_rate 4 30 rtu scan on ours" runs the two RTU scans with the
// option on and nothing else.
// Windows are drawn offscreen; to paint on a display (a virtual one):
//   QT_QPA_PLATFORM=xcb xvfb-run -a bench_line_rate
#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "params/ParameterCodes.h"
#include "params/Rm40Parameters.h"
#include "serial/TComm.h"
#include "settings/DataFolder.h"
#include "sim/DriveSimulator.h"
#include "sim/PseudoTerminal.h"

#include "bench/ProcessFigures.h"

#include "bench/LibmodbusRtu.h"
#include <modbus.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// The simulator in this process, noting when each reply's last byte went
// out and which thread serves it (its CPU is not the program's).
struct PacedSimulator {
  std::unique_ptr<DriveSimulator> sim;
  std::mutex mutex;
  std::deque<Clock::time_point> lastBytes;
  std::atomic<long> thread{0};

  bool Start(bool rtu, int baud, bool tcp = false, bool echo = false) {
    SimOptions options;
    options.rtu = rtu;
    options.baud = baud;
    options.faults.echo = echo;
    if (tcp) {
      options.tcpPort = 0;
      options.modbusTcp = true;
    }
    options.log = [this](const std::string &line) {
      thread = static_cast<long>(syscall(SYS_gettid));
      if (line.rfind("TX ", 0) == 0) {
        std::lock_guard lock(mutex);
        lastBytes.push_back(Clock::now());
      }
    };
    sim = std::make_unique<DriveSimulator>(options);
    std::string error;
    if (!sim->Start() ||
        (!tcp &&
         !CreateSymlink(sim->SlavePath(), (AppPaths::DataFolder() + "ports/COM2").toStdString(), error))) {
      std::fprintf(stderr, "simulator: %s%s\n", sim->Error().c_str(), error.c_str());
      return false;
    }
    return true;
  }

  // The last-byte time of the oldest reply not yet matched.
  bool TakeLastByte(Clock::time_point &at) {
    std::lock_guard lock(mutex);
    if (lastBytes.empty())
      return false;
    at = lastBytes.front();
    lastBytes.pop_front();
    return true;
  }
};

struct Figures {
  int requests = 0;
  double seconds = 0;
  double p50 = 0, p99 = 0; // ms from a reply's last byte to its value shown
  double cpuPercent = 0;   // of one core, the simulator's thread left out
  double mainPercent = 0;  // of that, the main thread's
  double cpuMsPerRequest = 0;
  double inPassCpuMsPerRequest = 0; // read all over TCP: within the passes
  // Over TCP, of the thread that runs the exchanges, µs a request costs in
  // the program's own code and in the system (sockets, waking, sleeping)
  double userUsPerRequest = 0, systemUsPerRequest = 0;
  double Rate() const { return seconds > 0 ? requests / seconds : 0; }
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5))];
}

// Runs the event loop, sleeping between events, until `done` or `ms` passed.
// Without `done` nothing else wakes the program: its CPU is its own.
void RunEvents(int ms, const std::function<bool()> &done = {}) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done())
      loop.quit();
  });
  if (done)
    check.start(20);
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

enum class Activity { ReadAll, Scan };

constexpr int TcpRounds = 7; // of each Modbus TCP case, ours and libmodbus by turns

std::vector<int> ReadAllRegisters(); // the registers read all asks for

// One run of the program's windows on a fresh simulator.
// Modbus TCP (tcp) on loopback: `baud` 0.
Figures RunProgram(bool rtu, int baud, bool completeOnReply, Activity activity, int scanSeconds,
                   int offReadAllRequests, bool tcp = false, bool echo = false) {
  PacedSimulator sim;
  Figures figures;
  if (!sim.Start(rtu, baud, tcp, echo))
    return figures;
  ProtocolSet->Echo->setCurrentText(echo ? "on" : "off");
  ProtocolSet->ComPort->setCurrentText(tcp ? QString::fromStdString(sim.sim->SlavePath()) : QString("COM2"));
  ProtocolSet->ModbusMode->setCurrentIndex(tcp ? 2 : rtu ? 1 : 0);
  ProtocolSet->UserBaud->setCurrentText(QString::number(tcp ? 38400 : baud));
  ProtocolSet->UserParity->setCurrentIndex(0);
  ProtocolSet->UserStopBit->setCurrentIndex(0);
  ProtocolSet->CompleteOnReply->setChecked(completeOnReply);
  Form1->ApplyPortSettings();
  // Off: the shortest reply window, so the reply is taken at the second
  // tick. On: the window only matters for a reply that never comes.
  Form1->TimeoutMs = completeOnReply ? 500 : 0;
  Form1->clear1Click();
  RunEvents(100);
  Clock::time_point stale;
  while (sim.TakeLastByte(stale)) {
  }

  std::vector<Clock::time_point> shownAt;
  std::vector<std::size_t> passStarts; // the first value shown of each pass of read all
  // Of passes, also the main thread's CPU at each value shown (the one clock
  // read it costs is counted as ours): the exchanges' own, without the ends
  // of the passes. Over TCP the exchanges run on the main thread alone.
  const bool repeatedPasses = tcp && activity == Activity::ReadAll;
  const long mainThread = static_cast<long>(getpid());
  std::vector<double> shownCpu;
  int dispatched = 0;
  // Connected after the window's own handlers, so it runs once the value is shown.
  const QMetaObject::Connection shown =
      QObject::connect(Form1->Engine, &TExchangeEngine::ReplyDispatched, Form1, [&](ReplyConsumer) {
        shownAt.push_back(Clock::now());
        if (repeatedPasses)
          shownCpu.push_back(ThreadCpuSeconds(mainThread));
        ++dispatched;
      });

  const double cpu0 = CpuSeconds() - ThreadCpuSeconds(sim.thread);
  const double main0 = ThreadCpuSeconds(mainThread);
  const UserSystemSeconds split0 = ThisThreadUserSystem();
  QElapsedTimer clock;
  clock.start();
  if (activity == Activity::ReadAll) {
    Form1->PageControl1->setCurrentIndex(1);
    const int limit = completeOnReply ? 1 << 30 : offReadAllRequests;
    // On loopback one pass is over in a few milliseconds: passes follow each
    // other for as long as a scan runs.
    do {
      passStarts.push_back(shownAt.size());
      Form1->ReadAll->click();
      RunEvents(3600 * 1000, [&] { return !Form1->State.ReadAllActive || dispatched >= limit; });
    } while (tcp && clock.elapsed() < scanSeconds * 1000);
    if (Form1->State.ReadAllActive)
      Form1->ReadAll->click(); // cancel
  } else {
    Form1->PageControl1->setCurrentIndex(0);
    Form1->SeriesType->setChecked(true);
    Form1->SeriesStart->setText("1");
    Form1->SeriesStop->setText("1");
    Form1->ScanPeriod->setText(completeOnReply ? "0" : "100");
    Form1->UPeriodScan->click();
    RunEvents(scanSeconds * 1000);
    Form1->UPeriodScan->click();
  }
  const double elapsed = clock.elapsed() / 1000.0;
  const double cpu = CpuSeconds() - ThreadCpuSeconds(sim.thread) - cpu0;
  const double mainCpu = ThreadCpuSeconds(mainThread) - main0;
  const UserSystemSeconds split1 = ThisThreadUserSystem();
  RunEvents(300); // the last exchange ends
  QObject::disconnect(shown);

  // The n-th reply that went out is the n-th value shown: every reply of
  // these runs has a consumer. The simulator notes a reply once its last
  // character's time has passed; the byte itself went into the terminal one
  // character time before.
  std::vector<double> latencies;
  const auto character = std::chrono::nanoseconds(baud > 0 ? 10'000'000'000LL / baud : 0);
  Clock::time_point lastByte;
  for (const Clock::time_point &at : shownAt) {
    if (!sim.TakeLastByte(lastByte))
      break;
    latencies.push_back(MsSince(lastByte - character, at));
  }
  // From the first value shown to the last, of each pass: the start of a
  // pass (a click, the grid made ready) is no request.
  passStarts.push_back(shownAt.size());
  double inPassCpu = 0;
  if (passStarts.front() != 0)
    passStarts.insert(passStarts.begin(), 0);
  for (std::size_t pass = 0; pass + 1 < passStarts.size(); ++pass) {
    const std::size_t first = passStarts[pass], end = passStarts[pass + 1];
    if (end <= first + 1)
      continue;
    figures.requests += static_cast<int>(end - first) - 1;
    figures.seconds += MsSince(shownAt[first], shownAt[end - 1]) / 1000.0;
    if (end <= shownCpu.size())
      inPassCpu += shownCpu[end - 1] - shownCpu[first];
  }
  if (repeatedPasses && figures.requests > 0)
    figures.inPassCpuMsPerRequest = inPassCpu * 1000 / figures.requests;
  figures.cpuMsPerRequest = shownAt.empty() ? 0 : cpu * 1000 / static_cast<double>(shownAt.size());
  if (!shownAt.empty()) {
    figures.userUsPerRequest = (split1.user - split0.user) * 1e6 / static_cast<double>(shownAt.size());
    figures.systemUsPerRequest = (split1.system - split0.system) * 1e6 / static_cast<double>(shownAt.size());
  }
  figures.p50 = Percentile(latencies, 0.5);
  figures.p99 = Percentile(latencies, 0.99);
  figures.cpuPercent = elapsed > 0 ? cpu / elapsed * 100 : 0;
  figures.mainPercent = elapsed > 0 ? mainCpu / elapsed * 100 : 0;
  Form1->UpcSend->stop();
  Form1->Comm1->ClosePort();
  return figures;
}

// libmodbus reading the same registers, one request after the other; in
// Modbus TCP (tcp) with its TCP client on loopback.
Figures RunLibmodbus(int baud, Activity activity, int scanSeconds, bool tcp = false) {
  PacedSimulator sim;
  Figures figures;
  if (!sim.Start(true, baud, tcp))
    return figures;
  modbus_t *ctx = tcp ? OpenLibmodbusTcp(sim.sim->SlavePath()) : OpenLibmodbusRtu(sim.sim->SlavePath(), baud);
  if (!ctx)
    return figures;
  // those read all asks for
  const std::vector<int> registers = activity == Activity::ReadAll ? ReadAllRegisters() : std::vector<int>{};
  std::uint16_t values[8];
  int errors = 0;
  // libmodbus runs on this thread; the simulator has its own.
  const long thisThread = static_cast<long>(syscall(SYS_gettid));
  const double cpu0 = ThreadCpuSeconds(thisThread);
  const UserSystemSeconds split0 = ThisThreadUserSystem();
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0;; ++i) {
    if (activity == Activity::ReadAll) {
      // passes one after the other on loopback, as the program's
      if (registers.empty() || (i > 0 && i % registers.size() == 0 &&
                                (!tcp || MsSince(start, Clock::now()) > scanSeconds * 1000.0)))
        break;
      if (modbus_read_registers(ctx, registers[i % registers.size()], 1, values) != 1)
        ++errors;
    } else {
      if (MsSince(start, Clock::now()) > scanSeconds * 1000.0)
        break;
      if (modbus_read_registers(ctx, 0x1000, 6, values) != 6)
        ++errors;
    }
    ++figures.requests;
  }
  figures.seconds = MsSince(start, Clock::now()) / 1000.0;
  const double cpu = ThreadCpuSeconds(thisThread) - cpu0;
  const UserSystemSeconds split1 = ThisThreadUserSystem();
  if (figures.seconds > 0)
    figures.cpuPercent = cpu / figures.seconds * 100;
  if (figures.requests > 0) {
    figures.cpuMsPerRequest = cpu * 1000 / figures.requests;
    figures.userUsPerRequest = (split1.user - split0.user) * 1e6 / figures.requests;
    figures.systemUsPerRequest = (split1.system - split0.system) * 1e6 / figures.requests;
  }
  if (errors)
    std::fprintf(stderr, "libmodbus: %d failed reads\n", errors);
  modbus_close(ctx);
  modbus_free(ctx);
  return figures;
}

// A pymodbus client reading the same registers in a loop, in a Python of
// its own; its rate is what it prints.
const char *const PymodbusLoop = R"(
import logging, sys, time
from pymodbus.client import ModbusSerialClient
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer
logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
path, mode, baud, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
registers = [int(r) for r in sys.argv[5:]]
ascii = mode == "ascii"
client = ModbusSerialClient(path, framer=ModbusAsciiFramer if ascii else ModbusRtuFramer, baudrate=baud,
                            bytesize=7 if ascii else 8, parity="N", stopbits=1, timeout=1, retries=0)
client.connect()
done, start = 0, time.monotonic()
if registers:
    for register in registers:
        client.read_holding_registers(register, 1, slave=1)
        done += 1
else:
    while time.monotonic() - start < seconds:
        client.read_holding_registers(0x1000, 6, slave=1)
        done += 1
print(done / (time.monotonic() - start))
)";

std::vector<int> ReadAllRegisters() {
  std::vector<int> registers;
  for (const Rm40Parameter &p : Rm40Parameters())
    if (p.name && std::strcmp(p.name, "Reserved") != 0)
      registers.push_back(std::stoi(ParameterRegister(std::string(p.code).substr(1)), nullptr, 16));
  return registers;
}

double RunPymodbus(bool rtu, int baud, Activity activity, int scanSeconds) {
  PacedSimulator sim;
  if (!sim.Start(rtu, baud))
    return 0;
  QStringList arguments = {"-c",
                           PymodbusLoop,
                           QString::fromStdString(sim.sim->SlavePath()),
                           rtu ? "rtu" : "ascii",
                           QString::number(baud),
                           QString::number(scanSeconds)};
  if (activity == Activity::ReadAll)
    for (const int r : ReadAllRegisters())
      arguments << QString::number(r);
  QProcess python;
  python.start("/usr/bin/python3", arguments);
  if (!python.waitForFinished(600000) || python.exitCode() != 0) {
    std::fprintf(stderr, "pymodbus: %s\n", python.readAllStandardError().constData());
    return 0;
  }
  return python.readAllStandardOutput().trimmed().toDouble();
}

// Replies per second that the line itself allows: the reply's characters at
// 10 bits each (the requests are not paced by the simulator).
double LineBound(bool rtu, int baud, Activity activity) {
  const int registers = activity == Activity::Scan ? 6 : 1;
  const int bytes = 3 + 2 * registers + (rtu ? 2 : 1);
  const int characters = rtu ? bytes : 1 + 2 * bytes + 2;
  return baud / 10.0 / characters;
}
} // namespace

int main(int argc, char **argv) {
  // Offscreen unless told otherwise: QT_QPA_PLATFORM=xcb under xvfb-run
  // paints and flushes as to a real display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  const int scanSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
  const int offReadAllRequests = argc > 2 ? std::max(5, std::atoi(argv[2])) : 30;
  QStringList caseWords;
  for (int i = 3; i < argc; ++i)
    caseWords << QString::fromLocal8Bit(argv[i]).toLower();
  const bool withPeers = !caseWords.removeAll("ours");
  // On one CPU, the program, its peers and the simulator share it: the
  // figures then tell each one's own work, without the wake-ups of a CPU
  // that went idle (on a virtual machine they cost tens of microseconds).
  if (caseWords.removeAll("pinned")) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
      int first = 0;
      while (first < CPU_SETSIZE && !CPU_ISSET(first, &allowed))
        ++first;
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(first, &one);
      if (sched_setaffinity(0, sizeof one, &one) == 0)
        std::printf("pinned to CPU %d\n", first);
    }
  }
  const auto picked = [&caseWords](bool rtu, int baud, Activity activity, std::optional<bool> on) {
    const QStringList row = {rtu ? "rtu" : "ascii", QString::number(baud),
                             activity == Activity::ReadAll ? "readall" : "scan"};
    for (const QString &word : caseWords) {
      if (word == "on" || word == "off") {
        if (on && *on != (word == "on"))
          return false;
      } else if (!row.contains(word)) {
        return false;
      }
    }
    return true;
  };

  QTemporaryDir folder;
  AppPaths::SetProgramFolder(folder.path());
  if (!EnsureDataFolder(AppPaths::DataFolder()).isEmpty())
    return 1;
  Dialogs::SetHandler([](const Dialogs::Request &) { return Dialogs::Answer{true, QString()}; });
  CreateApplicationWindows();
  Form1->show();
  Form1->FormActivate();

  std::printf("display: %s; CPU: the program's threads (the simulator's left out), %% of one core\n",
              qPrintable(QGuiApplication::platformName()));
  std::printf("%-5s %-6s %-8s %-4s %-8s %-10s %-10s %-10s %-9s %-9s %-7s %-7s %-7s %-6s %-13s %s\n", "mode",
              "baud", "activity", "opt", "requests", "ours req/s", "libmodbus", "ours/libmb", "pymodbus",
              "ours/pymb", "line/s", "p50 ms", "p99 ms", "CPU %", "main thread %", "libmb CPU %");
  for (const bool rtu : {true, false}) {
    for (const int baud : {9600, 38400}) {
      for (const Activity activity : {Activity::ReadAll, Activity::Scan}) {
        if (!picked(rtu, baud, activity, std::nullopt))
          continue;
        const Figures peer = rtu && withPeers ? RunLibmodbus(baud, activity, scanSeconds) : Figures{};
        const double python = withPeers ? RunPymodbus(rtu, baud, activity, scanSeconds) : 0;
        for (const bool on : {false, true}) {
          if (!picked(rtu, baud, activity, on))
            continue;
          const Figures ours = RunProgram(rtu, baud, on, activity, scanSeconds, offReadAllRequests);
          char ratio[16] = "-";
          char peerRate[16] = "-";
          char peerCpu[16] = "-";
          if (rtu && peer.Rate() > 0) {
            std::snprintf(ratio, sizeof ratio, "%.3f", ours.Rate() / peer.Rate());
            std::snprintf(peerRate, sizeof peerRate, "%.1f", peer.Rate());
            std::snprintf(peerCpu, sizeof peerCpu, "%.1f", peer.cpuPercent);
          }
          std::printf("%-5s %-6d %-8s %-4s %-8d %-10.1f %-10s %-10s %-9.1f %-9.3f %-7.1f %-7.2f %-7.2f "
                      "%-6.1f %-13.1f %s\n",
                      rtu ? "RTU" : "ASCII", baud, activity == Activity::ReadAll ? "read all" : "scan",
                      on ? "on" : "off", ours.requests, ours.Rate(), peerRate, ratio, python,
                      python > 0 ? ours.Rate() / python : 0.0, LineBound(rtu, baud, activity), ours.p50,
                      ours.p99, ours.cpuPercent, ours.mainPercent, peerCpu);
          std::fflush(stdout);
        }
      }
    }
  }
  // An echoing adapter at RTU 9600, option on.
  for (const Activity activity : {Activity::ReadAll, Activity::Scan}) {
    const QStringList row = {"echo", "rtu", "9600", activity == Activity::ReadAll ? "readall" : "scan", "on"};
    if (caseWords.isEmpty() || !caseWords.contains("echo") ||
        std::any_of(caseWords.begin(), caseWords.end(),
                    [&row](const QString &word) { return !row.contains(word); }))
      continue;
    const Figures plain = RunProgram(true, 9600, true, activity, scanSeconds, offReadAllRequests);
    const Figures echoed =
        RunProgram(true, 9600, true, activity, scanSeconds, offReadAllRequests, false, true);
    // a read's request, and so its echo, is 8 characters of 10 bits
    const double echoMs = 8 * 10 * 1000.0 / 9600;
    const double lessEcho = echoed.Rate() > 0 ? 1000 / (1000 / echoed.Rate() - echoMs) : 0;
    std::printf("echo  RTU 9600 %-8s on: without %.1f req/s, with echo %.1f req/s (%.1f less the echo's own "
                "%.2f ms), ratio %.3f\n",
                activity == Activity::ReadAll ? "read all" : "scan", plain.Rate(), echoed.Rate(), lessEcho,
                echoMs, plain.Rate() > 0 ? lessEcho / plain.Rate() : 0.0);
    std::fflush(stdout);
  }
  // Modbus TCP on loopback, replies handled as soon as complete.
  for (const Activity activity : {Activity::ReadAll, Activity::Scan}) {
    const QStringList row = {"tcp", activity == Activity::ReadAll ? "readall" : "scan", "on"};
    if (!caseWords.isEmpty() && std::any_of(caseWords.begin(), caseWords.end(),
                                            [&row](const QString &word) { return !row.contains(word); }))
      continue;
    if (caseWords.isEmpty() || !caseWords.contains("tcp"))
      std::printf("\n");
    // CPU milliseconds a request costs
    const auto perRequest = [](const Figures &f) { return f.cpuMsPerRequest; };
    const auto ratio = [](double ours, double peer) { return peer > 0 ? ours / peer : 0.0; };
    // Loopback figures swing with what the machine's scheduler does: rounds
    // by turns, and the median of their ratios.
    std::vector<double> rates, cpus, inPassCpus;
    for (int round = 1; round <= TcpRounds; ++round) {
      const Figures peer = withPeers ? RunLibmodbus(0, activity, scanSeconds, true) : Figures{};
      const Figures ours = RunProgram(true, 0, true, activity, scanSeconds, offReadAllRequests, true);
      rates.push_back(ratio(ours.Rate(), peer.Rate()));
      cpus.push_back(ratio(perRequest(ours), perRequest(peer)));
      inPassCpus.push_back(ratio(ours.inPassCpuMsPerRequest, perRequest(peer)));
      std::printf(
          "TCP   %-8s on, round %d: %d requests, ours %.1f req/s, libmodbus %.1f req/s, ratio %.3f; CPU "
          "per request ours %.3f ms, libmodbus %.3f ms, ratio %.2f; p50 %.2f ms, p99 %.2f ms\n",
          activity == Activity::ReadAll ? "read all" : "scan", round, ours.requests, ours.Rate(), peer.Rate(),
          rates.back(), perRequest(ours), perRequest(peer), cpus.back(), ours.p50, ours.p99);
      std::printf("      the exchanges' thread, per request, user / system: ours %.1f / %.1f us, libmodbus "
                  "%.1f / %.1f us\n",
                  ours.userUsPerRequest, ours.systemUsPerRequest, peer.userUsPerRequest,
                  peer.systemUsPerRequest);
      if (ours.inPassCpuMsPerRequest > 0)
        std::printf(
            "      within the passes (their ends left out): CPU per request ours %.3f ms, ratio %.2f\n",
            ours.inPassCpuMsPerRequest, inPassCpus.back());
      std::fflush(stdout);
    }
    std::printf("TCP   %-8s on, median of %d rounds: ratio %.3f, CPU ratio %.2f",
                activity == Activity::ReadAll ? "read all" : "scan", TcpRounds, Percentile(rates, 0.5),
                Percentile(cpus, 0.5));
    if (activity == Activity::ReadAll)
      std::printf(" (within the passes %.2f)", Percentile(inPassCpus, 0.5));
    std::printf("\n");
    std::fflush(stdout);
  }
  DestroyApplicationWindows();
  return 0;
}
