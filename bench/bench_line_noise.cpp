// A burst of random bytes onto the line while the program scans a drive in
// RTU mode, as a device at the wrong baud rate or a failing converter makes
// it: how fast the program digests the bytes, the memory it needs, how soon
// it is idle again and whether replies are taken once the noise stops.
// Usage: bench_line_noise [burst in MB, default 2]
#include "ProcessFigures.h"
#include "SimulatedProgram.h"

#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"
#include "settings/DataFolder.h"
#include "sim/DriveSimulator.h"
#include "sim/PseudoTerminal.h"
#include "support/HistoryLines.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
// Runs the event loop as the program does, sleeping while there is nothing.
void RunEventsFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The same burst read from a pseudo-terminal by a bare read loop: what the
// line itself carries, for comparison. Bytes per second, 0 on failure.
double BareLineBytesPerSecond(std::size_t burstBytes) {
  SimOptions options;
  options.rtu = true;
  DriveSimulator sim(options);
  if (!sim.Start())
    return 0;
  const int fd = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0)
    return 0;
  termios raw{};
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  tcsetattr(fd, TCSANOW, &raw);
  QElapsedTimer clock;
  clock.start();
  std::thread burst([&] { sim.SendBurst(burstBytes, 11); });
  std::vector<char> buffer(4096);
  std::size_t got = 0;
  while (got < burstBytes) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n <= 0)
      break;
    got += static_cast<std::size_t>(n);
  }
  const double seconds = clock.elapsed() / 1000.0;
  burst.join();
  ::close(fd);
  return got / seconds;
}
} // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  const double burstMb = argc > 1 ? std::atof(argv[1]) : 2.0;
  const auto burstBytes = static_cast<std::size_t>(burstMb * 1024 * 1024);

  QTemporaryDir folder;
  SimOptions options;
  options.rtu = true;
  options.baud = 38400;
  DriveSimulator sim(options);
  if (!PrepareSimulatedProgram(folder, sim))
    return 1;
  Dialogs::SetHandler([](const Dialogs::Request &) { return Dialogs::Answer{}; });
  CreateApplicationWindows();
  Form1->show();
  Form1->FormActivate();
  ProtocolSet->ComPort->setCurrentText("COM2");
  ProtocolSet->ModbusMode->setCurrentText("RTU");
  ProtocolSet->UserBaud->setCurrentText("38400");
  Form1->TimeoutMs = 100;
  Form1->ApplyPortSettings();

  // every piece the port hands over is counted before the program takes it
  std::size_t received = 0;
  auto deliver = Form1->Comm1->OnReceiveData;
  Form1->Comm1->OnReceiveData = [&](TComm *comm, const char *buffer, std::uint16_t length) {
    received += length;
    deliver(comm, buffer, length);
  };

  Form1->SeriesStart->setText("1");
  Form1->SeriesStop->setText("1");
  Form1->ScanPeriod->setText("100");
  Form1->UPeriodScan->click();
  RunEventsFor(1000);
  const double residentBefore = ResidentMb();
  const long long acceptedBefore = Form1->State.AcceptedReplies;

  // the window's responsiveness: the longest gap between two 20 ms timer
  // events while the burst is digested
  QElapsedTimer sinceTick;
  qint64 longestGapMs = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout,
                   [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
  sinceTick.start();
  ticker.start(20);

  std::atomic<bool> written = false;
  QElapsedTimer clock;
  clock.start();
  const std::size_t receivedAtStart = received;
  std::thread burst([&] {
    sim.SendBurst(burstBytes, 11);
    written = true;
  });
  while (!written || received - receivedAtStart < burstBytes) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    if (clock.elapsed() > 600000)
      break;
  }
  const double digestSeconds = clock.elapsed() / 1000.0;
  ticker.stop();
  burst.join();
  const std::size_t digested = received - receivedAtStart;

  // how busy the program stays once the last noise byte is in
  const double cpuStart = CpuSeconds();
  QElapsedTimer idle;
  idle.start();
  RunEventsFor(2000);
  const double cpuShare = (CpuSeconds() - cpuStart) / (idle.elapsed() / 1000.0);
  const long long acceptedAfterNoise = Form1->State.AcceptedReplies;
  RunEventsFor(2000);

  std::printf("burst: %.1f MB of random bytes, RTU, scan of drive 1 every 100 ms, reply window 100 ms\n",
              burstMb);
  const double bare = BareLineBytesPerSecond(burstBytes);
  std::printf("bare read loop on the same kind of line: %.0f bytes/s; ratio program/bare %.2f\n", bare,
              bare > 0 ? digested / digestSeconds / bare : 0.0);
  std::printf("digested: %.0f bytes/s (%zu bytes in %.2f s)\n", digested / digestSeconds, digested,
              digestSeconds);
  // the fastest line the protocol window offers, 10 bits a byte
  const double fastestLine = 115200 / 10.0;
  std::printf("fastest line offered (115200 baud): %.0f bytes/s; ratio digested/line %.1f\n", fastestLine,
              digested / digestSeconds / fastestLine);
  std::printf("longest pause of a 20 ms timer while digesting: %lld ms\n",
              static_cast<long long>(longestGapMs));
  std::printf("resident memory: %.1f MB before, %.1f MB after, peak %.1f MB\n", residentBefore, ResidentMb(),
              PeakResidentMb());
  std::printf("CPU in the 2 s after the burst: %.0f %%\n", 100 * cpuShare);
  std::printf("longest history line: %d characters\n", LongestHistoryLine());
  std::printf("replies accepted: %lld from the burst to 2 s after it, %lld in the next 2 s\n",
              acceptedAfterNoise - acceptedBefore, Form1->State.AcceptedReplies - acceptedAfterNoise);
  std::printf("error replies: %d, time-outs: %d\n", Form1->State.ErrorRecords, Form1->State.TimeoutRecords);
  Form1->UpcSend->stop();
  Form1->Comm1->ClosePort();
  DestroyApplicationWindows();
  return 0;
}
