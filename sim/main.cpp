// vossek-drive-sim: simulated drives behind a pseudo-terminal (or a TCP port,
// as behind a serial server), so that the tool can be run and tried without
// hardware.

#include "sim/DriveSimulator.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimCommands.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  char wake = 1;
  [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &wake, 1);
}

const char Usage[] = "usage: vossek-drive-sim [options]\n"
                     "  --mode MODE          Modbus framing: auto (default) answers each request\n"
                     "                       in the framing it came in; ascii or rtu only that;\n"
                     "                       tcp (with --tcp) Modbus TCP to any number of clients,\n"
                     "                       each drive a unit id\n"
                     "  --drives LIST        drive addresses, e.g. 1-5 or 1,3,4,20 (default 1); an\n"
                     "                       entry may carry a line setting of its own,\n"
                     "                       @BAUD[,PARITY[,MODE]] (parity N, E or O, mode ascii or\n"
                     "                       rtu): 1,17@19200,E,rtu. Such a drive answers only while\n"
                     "                       the line is at its rate and in its mode; parity only\n"
                     "                       where the line shows it, which a pseudo-terminal does\n"
                     "                       not. Over --tcp only the mode counts\n"
                     "  --link PATH          make PATH a symbolic link to the serial end\n"
                     "  --tcp PORT           serve on 127.0.0.1:PORT (0: any free port) instead of\n"
                     "                       a pseudo-terminal, one client at a time\n"
                     "  --baud N             send replies at the pace of an N baud line\n"
                     "  --latency MS         the drives' processing time before a reply\n"
                     "  --burst-ms N         hand replies over in packets N ms apart, each what the\n"
                     "                       line carries in N ms (at --baud, else at the rate the\n"
                     "                       tool set), as a USB adapter does\n"
                     "  --drop P             drop replies with probability P (0 to 1)\n"
                     "  --corrupt P          send replies with a wrong checksum with probability P\n"
                     "  --garbage P          send random bytes instead of replies with probability P\n"
                     "  --split N:MS         send replies in N pieces, MS apart\n"
                     "  --late MS            send every reply MS late\n"
                     "  --stray N            send N random bytes after every reply\n"
                     "  --noise N            send N random bytes before every reply\n"
                     "  --twice MS           send every reply a second time, MS after the first\n"
                     "  --echo               hand every request back before its reply, as an\n"
                     "                       adapter that hears its own transmission\n"
                     "  --skew-writes        answer every write with another value than was written\n"
                     "  --fault A:CODE       start with drive A tripped with fault CODE (4 to 25)\n"
                     "  --clamp A:CODE:V     drive A takes writes of CODE above V (e.g. F113:40.00)\n"
                     "                       but holds V, as a drive limiting a setting does\n"
                     "  --mute A:CODE        drive A answers no request for CODE (e.g. 1:F114)\n"
                     "  --seed N             seed of the fault dice\n"
                     "  --control PATH       read commands from the FIFO PATH while running\n"
                     "                       (drop, corrupt, garbage, split, late, stray, noise, twice,\n"
                     "                       echo on|off, skew-writes on|off, latency, fault, clamp,\n"
                     "                       mute, reset, off: the option names, values after a blank)\n"
                     "  --quiet              do not log requests and replies on stderr\n"
                     "The path of the serial end (with --tcp: tcp:127.0.0.1:PORT) is printed on\n"
                     "stdout.\n";

int Fail(const std::string &message) {
  std::cerr << "vossek-drive-sim: " << message << "\n";
  return 2;
}

struct ControlFifo {
  std::string path;
  bool created = false;
  int fd = -1;

  bool Open(std::string &error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
      if (!S_ISFIFO(st.st_mode)) {
        error = path + " exists and is not a FIFO";
        return false;
      }
    } else if (::mkfifo(path.c_str(), 0600) == 0) {
      created = true;
    } else {
      error = "cannot create " + path + ": " + std::strerror(errno);
      return false;
    }
    // Open for writing too, so that a writer closing it never reads as end of file.
    fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      error = "cannot open " + path + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }
  ~ControlFifo() {
    if (fd >= 0)
      ::close(fd);
    if (created)
      ::unlink(path.c_str());
  }
};

} // namespace

int main(int argc, char **argv) {
  SimOptions options;
  options.followRequestMode = true;
  std::string linkPath, controlPath;
  std::vector<std::string> startCommands;
  bool quiet = false;

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc)
        throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    try {
      if (arg == "--help" || arg == "-h") {
        std::cout << Usage;
        return 0;
      } else if (arg == "--mode") {
        std::string mode = value();
        if (mode != "auto" && mode != "ascii" && mode != "rtu" && mode != "tcp")
          return Fail("--mode is auto, ascii, rtu or tcp");
        options.followRequestMode = mode == "auto";
        options.rtu = mode == "rtu" || mode == "tcp";
        options.modbusTcp = mode == "tcp";
      } else if (arg == "--drives") {
        std::string error;
        if (!ParseDriveList(value(), options.drives, error, &options.driveLines))
          return Fail(error);
      } else if (arg == "--link") {
        linkPath = value();
      } else if (arg == "--tcp") {
        const std::string port = value();
        if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5 ||
            std::stoi(port) > 65535)
          return Fail("--tcp is a port number 0 to 65535");
        options.tcpPort = std::stoi(port);
      } else if (arg == "--control") {
        controlPath = value();
      } else if (arg == "--baud") {
        options.baud = std::stoi(value());
      } else if (arg == "--latency") {
        options.latencyMs = std::stoi(value());
      } else if (arg == "--burst-ms") {
        options.burstMs = std::stoi(value());
      } else if (arg == "--seed") {
        options.seed = static_cast<std::uint32_t>(std::stoul(value()));
      } else if (arg == "--drop" || arg == "--corrupt" || arg == "--garbage" || arg == "--split" ||
                 arg == "--late" || arg == "--stray" || arg == "--fault" || arg == "--noise" ||
                 arg == "--twice") {
        std::string v = value();
        for (char &c : v)
          if (c == ':')
            c = ' ';
        startCommands.push_back(arg.substr(2) + " " + v);
      } else if (arg == "--clamp") {
        std::string v = value();
        const std::size_t last = v.rfind(':');
        if (last == std::string::npos || last == 0)
          return Fail("--clamp is ADDRESS:CODE:VALUE, e.g. 1:F113:40.00");
        v[last] = ' ';
        startCommands.push_back("clamp " + v);
      } else if (arg == "--echo" || arg == "--skew-writes") {
        startCommands.push_back(arg.substr(2) + " on");
      } else if (arg == "--mute") {
        startCommands.push_back("mute " + value());
      } else if (arg == "--quiet") {
        quiet = true;
      } else {
        return Fail("unknown option " + arg + "\n" + Usage);
      }
    } catch (const std::exception &e) {
      return Fail(std::string("bad value for ") + arg + ": " + e.what());
    }
  }
  if (options.baud < 0 || options.latencyMs < 0 || options.burstMs < 0)
    return Fail("--baud, --latency and --burst-ms cannot be negative");
  if (options.modbusTcp && options.tcpPort < 0)
    return Fail("--mode tcp needs --tcp PORT");
  if (options.tcpPort >= 0 && !linkPath.empty())
    return Fail("--link needs a pseudo-terminal; with --tcp the tool opens tcp:127.0.0.1:PORT");
  if (!quiet)
    options.log = [](const std::string &line) { std::cerr << line << std::endl; };

  DriveSimulator sim(options);
  for (const std::string &command : startCommands) {
    std::string error;
    if (!ApplySimCommand(sim, command, error))
      return Fail(error);
  }

  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return Fail(std::string("cannot create a pipe: ") + std::strerror(errno));
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  ControlFifo control;
  if (!controlPath.empty()) {
    control.path = controlPath;
    std::string error;
    if (!control.Open(error))
      return Fail(error);
  }

  if (!sim.Start())
    return Fail(sim.Error());
  std::string slave = sim.SlavePath();
  if (!linkPath.empty()) {
    std::string error;
    if (!CreateSymlink(slave, linkPath, error)) {
      sim.Stop();
      return Fail(error);
    }
  }
  std::cout << slave << std::endl;
  if (!quiet)
    std::cerr << "vossek-drive-sim: "
              << (options.modbusTcp           ? "Modbus TCP"
                  : options.followRequestMode ? "ASCII or RTU"
                  : options.rtu               ? "RTU"
                                              : "ASCII")
              << ", drives " << options.drives.size() << (linkPath.empty() ? "" : ", linked at " + linkPath)
              << std::endl;

  std::string pending;
  for (;;) {
    pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {control.fd, POLLIN, 0}};
    int ready = ::poll(fds, control.fd >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno != EINTR)
      break;
    if (fds[0].revents & POLLIN)
      break;
    if (control.fd >= 0 && (fds[1].revents & POLLIN)) {
      char buffer[256];
      ssize_t n = ::read(control.fd, buffer, sizeof buffer);
      if (n > 0)
        pending.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, eol);
        pending.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r')
          line.pop_back();
        if (line.empty())
          continue;
        std::string error;
        if (!ApplySimCommand(sim, line, error))
          std::cerr << "vossek-drive-sim: " << error << std::endl;
        else if (!quiet)
          std::cerr << "vossek-drive-sim: " << line << std::endl;
      }
    }
  }

  sim.Stop();
  if (!linkPath.empty())
    RemoveSymlinkTo(slave, linkPath);
  return 0;
}
