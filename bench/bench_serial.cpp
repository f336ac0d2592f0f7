// Figures for the serial link over a pseudo-terminal: how long a byte takes
// from the far end to the receive handler on the main thread, how many bytes
// per second the link takes in, and what an open but idle port costs in CPU.

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

#include <pty.h>
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

void MeasureLatency(TComm &comm, int master) {
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
  std::printf("latency far end -> OnReceiveData (%zu samples): median %.1f us, 99th percentile %.1f us\n",
              micros.size(), at(0.5), at(0.99));
}

void MeasureThroughput(TComm &comm, int master, std::uint16_t inputLen) {
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
  std::printf("throughput with InputLen %u: %.0f bytes/s (%zu bytes in %.2f s, %zu events, CPU %.2f s)\n",
              inputLen, received / seconds, received, seconds, events, cpu);
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
    comm.OpenPort();
    if (!comm.PortOpen()) {
      std::fprintf(stderr, "cannot open %s: %s\n", name, qPrintable(comm.PortOpenError()));
      return 1;
    }
    if (inputLen == 1) {
      MeasureLatency(comm, master);
      MeasureIdleCost(3);
    }
    MeasureThroughput(comm, master, inputLen);
  }
  close(master);
  return 0;
}
