// Round trips through the drive simulator over its pseudo-terminal: how many
// requests a second it answers in each mode, and the time of one exchange.

#include "protocol/HexText.h"
#include "sim/DriveSimulator.h"
#include "sim/ModbusFraming.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

double RoundTrips(bool rtu, int count) {
  SimOptions options;
  options.rtu = rtu;
  options.drives = {1, 2, 3, 4, 5};
  DriveSimulator sim(options);
  if (!sim.Start()) {
    std::fprintf(stderr, "%s\n", sim.Error().c_str());
    return 0;
  }
  int fd = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);

  const std::vector<std::uint8_t> body{0x03, 0x03, 0x10, 0x00, 0x00, 0x06};
  std::vector<std::uint8_t> request = EncodeFrame(rtu ? FrameMode::Rtu : FrameMode::Ascii, body);
  std::size_t replyLength = rtu ? 17 : 35;
  auto start = std::chrono::steady_clock::now();
  int answered = 0;
  for (int i = 0; i < count; ++i) {
    if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
      break;
    std::size_t got = 0;
    std::uint8_t buffer[64];
    while (got < replyLength) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 2000) <= 0)
        break;
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0)
        break;
      got += static_cast<std::size_t>(n);
    }
    if (got == replyLength)
      ++answered;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ::close(fd);
  sim.Stop();
  if (answered != count)
    std::printf("  only %d of %d requests answered\n", answered, count);
  return answered / seconds;
}

} // namespace

int main() {
  const int count = 2000;
  for (bool rtu : {false, true}) {
    double perSecond = RoundTrips(rtu, count);
    std::printf("%s: %d status reads, %.0f round trips/s, %.3f ms each\n", rtu ? "RTU  " : "ASCII", count,
                perSecond, perSecond > 0 ? 1000.0 / perSecond : 0.0);
  }
  return 0;
}
