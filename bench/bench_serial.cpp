// Figures for the serial link over a pseudo-terminal: how long a byte takes
// from the far end to the receive handler on the main thread, how many bytes
// per second the link takes in, and what an open but idle port costs in CPU.
// Then the same latency and throughput over the connection to a serial server
// on 127.0.0.1, and how long opening it takes, beside the pseudo-terminal's.

#include "serial/TComm.h"

#include "bench/ProcessFigures.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

bool WriteAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void MeasureLatency(TComm &comm, int master, const char *line) {
  constexpr int kSamples = 2000;
  std::vector<double> micros;
  micros.reserve(kSamples);
  QEventLoop loop;
  Clock::time_point sent;
  bool arrived = false;
  comm.OnReceiveData = [&](TComm *, const char *, std::uint16_t) {
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    arrived = true;
    loop.quit();
  };
  for (int i = 0; i < kSamples; ++i) {
    arrived = false;
    const char byte = static_cast<char>(i);
    sent = Clock::now();
    if (!WriteAll(master, &byte, 1))
      break;
    while (!arrived)
      loop.exec();
  }
  comm.OnReceiveData = nullptr;
  std::sort(micros.begin(), micros.end());
  if (micros.empty())
    return;
  const auto at = [&](double fraction) {
    return micros[static_cast<size_t>(fraction * (micros.size() - 1))];
  };
  std::printf(
      "latency far end -> OnReceiveData over %s (%zu samples): median %.1f us, 99th percentile %.1f us\n",
      line, micros.size(), at(0.5), at(0.99));
}

void MeasureThroughput(TComm &comm, int master, std::uint16_t inputLen, const char *line) {
  constexpr size_t kBytes = 8 * 1024 * 1024;
  std::vector<char> burst(kBytes);
  for (size_t i = 0; i < kBytes; ++i)
    burst[i] = static_cast<char>(i * 13);

  QEventLoop loop;
  size_t received = 0;
  size_t events = 0;
  comm.OnReceiveData = [&](TComm *, const char *, std::uint16_t length) {
    received += length;
    ++events;
    if (received >= kBytes)
      loop.quit();
  };
  const auto start = Clock::now();
  const double cpuBefore = CpuSeconds();
  std::thread farEnd([&] { WriteAll(master, burst.data(), burst.size()); });
  loop.exec();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuBefore;
  farEnd.join();
  comm.OnReceiveData = nullptr;
  std::printf(
      "throughput over %s with InputLen %u: %.0f bytes/s (%zu bytes in %.2f s, %zu events, CPU %.2f s)\n",
      line, inputLen, received / seconds, received, seconds, events, cpu);
}

double OpenMs(TComm &comm) {
  const auto start = Clock::now();
  comm.OpenPort();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A serial server's end on 127.0.0.1: the component connects to it, the
// accepted connection plays the far end.
bool MeasureTcpServer() {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
    std::perror("listen");
    return false;
  }
  bool ok = true;
  for (const std::uint16_t inputLen : {std::uint16_t(1), std::uint16_t(2048)}) {
    TComm comm;
    comm.SetCommName(QStringLiteral("tcp:127.0.0.1:%1").arg(ntohs(address.sin_port)));
    comm.SetInputLen(inputLen);
    const double openMs = OpenMs(comm);
    const int farEnd = comm.PortOpen() ? accept(listener, nullptr, nullptr) : -1;
    if (farEnd < 0) {
      std::fprintf(stderr, "cannot connect: %s\n", qPrintable(comm.PortOpenReason()));
      ok = false;
      break;
    }
    if (inputLen == 1) {
      std::printf("open of a serial server on 127.0.0.1: %.3f ms\n", openMs);
      MeasureLatency(comm, farEnd, "TCP");
    }
    MeasureThroughput(comm, farEnd, inputLen, "TCP");
    comm.ClosePort();
    close(farEnd);
  }
  close(listener);
  return ok;
}

void MeasureIdleCost(int seconds) {
  const double before = CpuSeconds();
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  const double used = CpuSeconds() - before;
  std::printf("idle open port: %.3f ms CPU per second over %d s (process total)\n", used * 1000 / seconds,
              seconds);
}
} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  close(slave);

  for (const std::uint16_t inputLen : {std::uint16_t(1), std::uint16_t(2048)}) {
    TComm comm;
    comm.SetCommName(QString::fromLocal8Bit(name));
    comm.SetInputLen(inputLen);
    const double openMs = OpenMs(comm);
    if (!comm.PortOpen()) {
      std::fprintf(stderr, "cannot open %s: %s\n", name, qPrintable(comm.PortOpenError()));
      return 1;
    }
    if (inputLen == 1) {
      std::printf("open of a pseudo-terminal: %.3f ms\n", openMs);
      MeasureLatency(comm, master, "a pseudo-terminal");
      MeasureIdleCost(3);
    }
    MeasureThroughput(comm, master, inputLen, "a pseudo-terminal");
  }
  close(master);
  return MeasureTcpServer() ? 0 : 1;
}
