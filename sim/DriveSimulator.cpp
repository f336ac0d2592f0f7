#include "sim/DriveSimulator.h"

#include "protocol/FrameCodec.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string Printable(const std::vector<std::uint8_t> &bytes, FrameMode mode) {
  if (mode == FrameMode::Rtu)
    return BytesToHex(bytes.data(), bytes.size());
  std::string text;
  for (std::uint8_t b : bytes) {
    if (b == '\r')
      text += "\\r";
    else if (b == '\n')
      text += "\\n";
    else
      text += static_cast<char>(b);
  }
  return text;
}

} // namespace

DriveSimulator::DriveSimulator(SimOptions options)
    : options_(std::move(options)),
      mode_(options_.followRequestMode ? std::nullopt
                                       : std::optional(options_.rtu ? FrameMode::Rtu : FrameMode::Ascii)),
      faults_(options_.faults), latencyMs_(options_.latencyMs), dice_(options_.seed) {
  ParameterImage image =
      BuildParameterImage(options_.parameters.empty() ? ShippedParameterDefinitions() : options_.parameters);
  std::int64_t now = DriveNow();
  for (int address : options_.drives) {
    if (address >= 1 && address <= 247)
      drives_.try_emplace(address, address, image, now);
  }
}

DriveSimulator::~DriveSimulator() { Stop(); }

std::int64_t DriveSimulator::DriveNow() const { return options_.clock ? options_.clock() : SteadyMs(); }

void DriveSimulator::Log(const std::string &line) const {
  if (options_.log)
    options_.log(line);
}

bool DriveSimulator::Start() {
  if (thread_.joinable())
    return true;
  if (UsesTcp() ? !tcp_.Open(options_.tcpPort, error_) : !pty_.Open(error_))
    return false;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    error_ = std::string("cannot create a pipe: ") + std::strerror(errno);
    pty_.Close();
    tcp_.Close();
    return false;
  }
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];
  stopping_ = false;
  thread_ = std::thread(
      options_.modbusTcp && UsesTcp() ? &DriveSimulator::ServeModbusTcp : &DriveSimulator::Serve, this);
  return true;
}

void DriveSimulator::Stop() {
  if (!thread_.joinable())
    return;
  stopping_ = true;
  char wake = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &wake, 1);
  thread_.join();
  ::close(wakeRead_);
  ::close(wakeWrite_);
  wakeRead_ = wakeWrite_ = -1;
  pty_.Close();
  tcp_.Close();
}

bool DriveSimulator::Pause(int ms) {
  if (ms <= 0)
    return !stopping_;
  pollfd wake{wakeRead_, POLLIN, 0};
  std::int64_t end = SteadyMs() + ms;
  while (!stopping_) {
    std::int64_t left = end - SteadyMs();
    if (left <= 0)
      return true;
    ::poll(&wake, 1, static_cast<int>(left));
  }
  return false;
}

void DriveSimulator::Serve() {
  FrameAssembler assembler(mode_);
  std::vector<ReceivedFrame> frames;
  std::uint8_t buffer[512];
  while (!stopping_) {
    const int line = LineFd();
    // Over TCP, a new client is taken only when the last one has gone.
    const int listener = UsesTcp() && line < 0 ? tcp_.ListenFd() : -1;
    pollfd fds[3] = {{line, POLLIN, 0}, {wakeRead_, POLLIN, 0}, {listener, POLLIN, 0}};
    int silence = assembler.MsUntilSilence(SteadyMs());
    int ready = ::poll(fds, 3, silence >= 0 ? silence + 1 : 500);
    if (stopping_)
      break;
    if (ready == 0 && !UsesTcp())
      pty_.ReleaseStaleExclusiveUse();
    if (fds[2].revents & POLLIN)
      tcp_.AcceptClient();
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      ssize_t n = ::read(line, buffer, sizeof buffer);
      if (n > 0)
        assembler.Feed(buffer, static_cast<std::size_t>(n), SteadyMs(), frames);
      else if (UsesTcp() && (n == 0 || (errno != EAGAIN && errno != EINTR)))
        tcp_.DropClient(); // the client closed the connection, or it broke
      else if (n < 0 && errno != EAGAIN && errno != EINTR)
        Pause(50); // EIO: nobody on the serial end; wait instead of spinning
    } else if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
      if (UsesTcp())
        tcp_.DropClient();
      else
        Pause(50);
    }
    assembler.Idle(SteadyMs(), frames);
    for (const ReceivedFrame &frame : frames) {
      if (stopping_)
        break;
      HandleFrame(frame);
    }
    frames.clear();
  }
}

void DriveSimulator::ServeModbusTcp() {
  // Each client's bytes until a whole frame is in: the header's length
  // field tells where it ends.
  struct Client {
    int fd;
    std::vector<std::uint8_t> pending;
  };
  constexpr std::size_t LengthFieldEnd = 6;
  std::vector<Client> clients;
  std::uint8_t buffer[512];
  while (!stopping_) {
    std::vector<pollfd> fds{{wakeRead_, POLLIN, 0}, {tcp_.ListenFd(), POLLIN, 0}};
    for (const Client &client : clients)
      fds.push_back({client.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), 500) <= 0 || stopping_)
      continue;
    if (fds[1].revents & POLLIN) {
      const int fd = ::accept4(tcp_.ListenFd(), nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        clients.push_back({fd, {}});
      }
    }
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
        continue;
      Client &client = clients[i - 2];
      const ssize_t n = ::read(client.fd, buffer, sizeof buffer);
      if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR))) {
        ::close(client.fd);
        client.fd = -1;
        continue;
      }
      if (n > 0)
        client.pending.insert(client.pending.end(), buffer, buffer + n);
      while (client.pending.size() >= LengthFieldEnd) {
        const std::size_t whole = LengthFieldEnd + (client.pending[4] << 8 | client.pending[5]);
        if (client.pending.size() < whole)
          break;
        const Unwrapped request = Codecs::Tcp.unwrap(std::span(client.pending).first(whole));
        ReceivedFrame frame;
        frame.lineText = BytesToHex(client.pending.data(), whole);
        frame.body = request.unit.bytes;
        // a protocol other than Modbus's own is not answered
        frame.checksumOk = request.fault == Unwrapped::Fault::None && frame.body.size() >= 2;
        frame.mode = FrameMode::Rtu;
        client.pending.erase(client.pending.begin(),
                             client.pending.begin() + static_cast<std::ptrdiff_t>(whole));
        const std::vector<std::uint8_t> reply = Answer(frame);
        if (reply.empty() || !Pause(LatencyMs()))
          continue;
        const std::vector<std::uint8_t> out = Codecs::Tcp.frame({reply}, request.transaction);
        Log("TX " + BytesToHex(out.data(), out.size()));
        for (std::size_t done = 0; done < out.size();) {
          const ssize_t sent = ::send(client.fd, out.data() + done, out.size() - done, MSG_NOSIGNAL);
          if (sent <= 0)
            break;
          done += static_cast<std::size_t>(sent);
        }
        std::lock_guard lock(mutex_);
        ++repliesSent_;
      }
    }
    std::erase_if(clients, [](const Client &client) { return client.fd < 0; });
  }
  for (const Client &client : clients)
    ::close(client.fd);
}

int DriveSimulator::LatencyMs() const {
  std::lock_guard lock(mutex_);
  return latencyMs_ + faults_.lateMs;
}

void DriveSimulator::HandleFrame(const ReceivedFrame &frame) {
  if (Faults().echo) {
    // An adapter that hears its own transmission hands every request back
    // as it was sent, whoever it was for.
    const std::vector<std::uint8_t> sent = frame.mode == FrameMode::Ascii
                                               ? Bytes(frame.lineText.begin(), frame.lineText.end())
                                               : HexPairsToBytes(frame.lineText);
    if (!WriteAll(sent.data(), sent.size()))
      return;
  }
  const std::vector<std::uint8_t> reply = Answer(frame);
  if (!reply.empty())
    SendReply(reply, frame.mode);
}

std::vector<std::uint8_t> DriveSimulator::Answer(const ReceivedFrame &frame) {
  std::string seen = "RX " + Printable(Bytes(frame.lineText.begin(), frame.lineText.end()), FrameMode::Ascii);
  std::vector<std::uint8_t> reply;
  {
    std::lock_guard lock(mutex_);
    received_.push_back(frame.lineText);
    while (received_.size() > options_.recordLimit)
      received_.pop_front();
    // A drive ignores what it cannot trust or what is not for it.
    if (!frame.checksumOk || frame.body.size() < 2) {
      Log(seen + "  (bad frame, ignored)");
      return {};
    }
    int address = frame.body[0];
    std::int64_t now = DriveNow();
    if (address == 0) {
      for (auto &[a, drive] : drives_)
        if (Hears(a, frame.mode))
          drive.Handle(frame.body, now);
      Log(seen + "  (broadcast)");
      return {};
    }
    auto drive = drives_.find(address);
    if (drive == drives_.end()) {
      Log(seen + "  (no such drive)");
      return {};
    }
    if (!Hears(address, frame.mode)) {
      Log(seen + "  (the drive is at another setting)");
      return {};
    }
    reply = drive->second.Handle(frame.body, now);
  }
  Log(seen);
  return reply;
}

bool DriveSimulator::Hears(int address, FrameMode mode) const {
  // Over Modbus TCP there is no line setting to be at: every drive hears.
  if (options_.modbusTcp && UsesTcp())
    return true;
  const auto own = options_.driveLines.find(address);
  return own == options_.driveLines.end() || HearsLine(own->second, Seen(), mode);
}

bool DriveSimulator::Chance(double probability) {
  if (probability <= 0)
    return false;
  if (probability >= 1)
    return true;
  return std::uniform_real_distribution<double>(0, 1)(dice_) < probability;
}

std::vector<std::uint8_t> DriveSimulator::Garbage(std::size_t length, FrameMode mode) {
  std::vector<std::uint8_t> bytes(length);
  if (mode == FrameMode::Ascii) {
    // No ":" anywhere, so no part of it can pass for a frame.
    static const char noise[] = "GHJKLMNPQRSTUVWXYZ#!?*0123456789ABCDEF\r\n";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof noise - 2);
    for (auto &b : bytes)
      b = static_cast<std::uint8_t>(noise[pick(dice_)]);
    return bytes;
  }
  std::uniform_int_distribution<int> byte(0, 255);
  for (auto &b : bytes)
    b = static_cast<std::uint8_t>(byte(dice_));
  // Make sure the CRC can never match by chance.
  std::vector<std::uint8_t> frame = EncodeRtuFrame(std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 2));
  bytes[length - 2] = static_cast<std::uint8_t>(frame[length - 2] ^ 0x5A);
  return bytes;
}

void DriveSimulator::SendReply(const std::vector<std::uint8_t> &body, FrameMode mode) {
  LineFaults faults;
  int latency;
  bool drop, corrupt, garbage;
  {
    std::lock_guard lock(mutex_);
    faults = faults_;
    latency = latencyMs_;
    drop = Chance(faults.dropProbability);
    corrupt = Chance(faults.corruptProbability);
    garbage = Chance(faults.garbageProbability);
  }
  if (drop) {
    Log("-- reply dropped");
    return;
  }
  if (!Pause(latency + faults.lateMs))
    return;

  std::vector<std::uint8_t> answer = body;
  if (faults.skewWrites && answer.size() == 6 && answer[1] == 0x06)
    ++answer[5];
  std::vector<std::uint8_t> out = EncodeFrame(mode, answer);
  if (garbage) {
    std::lock_guard lock(mutex_);
    out = Garbage(out.size(), mode);
  } else if (corrupt) {
    if (mode == FrameMode::Rtu) {
      out[out.size() - 2] ^= 0xFF;
    } else {
      // The LRC stands in the two characters before CR LF.
      std::string lrc(out.end() - 4, out.end() - 2);
      std::uint8_t wrong = static_cast<std::uint8_t>(HexToByte(lrc) + 1);
      std::string hex = ByteToHex(wrong);
      out[out.size() - 4] = static_cast<std::uint8_t>(hex[0]);
      out[out.size() - 3] = static_cast<std::uint8_t>(hex[1]);
    }
  }

  // Noise before the frame goes out in one write with it: on a line nothing
  // separates them that a receiver could take for the end of a frame.
  std::vector<std::uint8_t> piece = NoiseBytes(faults.noiseBytes, mode);
  std::size_t pieces = faults.splitPieces >= 2 ? static_cast<std::size_t>(faults.splitPieces) : 1;
  pieces = std::min(pieces, out.size());
  std::size_t done = 0;
  for (std::size_t i = 0; i < pieces; ++i) {
    std::size_t end = out.size() * (i + 1) / pieces;
    if (i > 0 && !Pause(faults.splitGapMs))
      return;
    piece.insert(piece.end(), out.begin() + static_cast<std::ptrdiff_t>(done),
                 out.begin() + static_cast<std::ptrdiff_t>(end));
    if (!WriteAll(piece.data(), piece.size()))
      return;
    piece.clear();
    done = end;
  }
  if (!SendNoise(faults.strayBytes, mode))
    return;
  if (faults.twiceGapMs >= 0 && (!Pause(faults.twiceGapMs) || !WriteAll(out.data(), out.size())))
    return;
  {
    std::lock_guard lock(mutex_);
    ++repliesSent_;
  }
  Log("TX " + Printable(out, mode));
}

std::vector<std::uint8_t> DriveSimulator::NoiseBytes(int count, FrameMode mode) {
  if (count <= 0)
    return {};
  std::vector<std::uint8_t> noise;
  {
    std::lock_guard lock(mutex_);
    noise = Garbage(static_cast<std::size_t>(std::max(count, 2)), mode);
  }
  noise.resize(static_cast<std::size_t>(count));
  return noise;
}

bool DriveSimulator::SendNoise(int count, FrameMode mode) {
  const std::vector<std::uint8_t> noise = NoiseBytes(count, mode);
  return noise.empty() || WriteAll(noise.data(), noise.size());
}

bool DriveSimulator::SendBurst(std::size_t count, std::uint32_t seed) {
  std::mt19937 noise(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> bytes(count);
  for (auto &b : bytes)
    b = static_cast<std::uint8_t>(byte(noise));
  const std::lock_guard<std::mutex> lock(writeMutex_);
  for (std::size_t at = 0; at < count && !stopping_;) {
    const ssize_t n = ::write(pty_.MasterFd(), bytes.data() + at, count - at);
    if (n < 0) {
      if (errno != EAGAIN && errno != EINTR)
        return false;
      pollfd out{pty_.MasterFd(), POLLOUT, 0};
      ::poll(&out, 1, 100);
      continue;
    }
    at += static_cast<std::size_t>(n);
  }
  return !stopping_;
}

bool DriveSimulator::WriteAll(const std::uint8_t *bytes, std::size_t count) {
  const std::lock_guard<std::mutex> lock(writeMutex_);
  int baud = options_.baud;
  // A character is 10 bits on the line (start, 7 or 8 data, parity or not, stop).
  long charNs = baud > 0 ? 10'000'000'000L / baud : 0;
  std::size_t step = charNs > 0 ? 1 : count;
  if (options_.burstMs > 0) {
    // Packets of what the line carries in a period, at the pace asked for or
    // else at the rate the master set.
    const long rate = baud > 0 ? baud : Seen().baud.value_or(9600);
    step = static_cast<std::size_t>(std::max(1L, rate * options_.burstMs / 10'000));
    charNs = static_cast<long>(options_.burstMs) * 1'000'000L / static_cast<long>(step);
  }
  // Each character is due a character's time after the one before it, as a
  // UART sends them back to back: the pauses are kept against the clock, so
  // the time a wake-up takes does not add up over the reply.
  timespec due{};
  clock_gettime(CLOCK_MONOTONIC, &due);
  for (std::size_t at = 0; at < count && !stopping_;) {
    const int line = LineFd();
    const std::size_t size = std::min(step, count - at);
    // send() on a socket, so that a client gone away is an error, not a SIGPIPE.
    ssize_t n = UsesTcp() ? ::send(line, bytes + at, size, MSG_NOSIGNAL) : ::write(line, bytes + at, size);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) {
        pollfd out{line, POLLOUT, 0};
        ::poll(&out, 1, 100);
        continue;
      }
      Log(std::string("-- write failed: ") + std::strerror(errno));
      return false;
    }
    at += static_cast<std::size_t>(n);
    if (charNs > 0) {
      due.tv_nsec += charNs * n;
      while (due.tv_nsec >= 1'000'000'000L) {
        due.tv_sec += 1;
        due.tv_nsec -= 1'000'000'000L;
      }
      while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
      }
    }
  }
  return !stopping_;
}

bool DriveSimulator::Serves(int address) const {
  std::lock_guard lock(mutex_);
  return drives_.count(address) != 0;
}

std::vector<int> DriveSimulator::Addresses() const {
  std::lock_guard lock(mutex_);
  std::vector<int> addresses;
  for (const auto &entry : drives_)
    addresses.push_back(entry.first);
  return addresses;
}

std::optional<std::uint16_t> DriveSimulator::Parameter(int address, std::uint16_t reg) const {
  std::lock_guard lock(mutex_);
  auto drive = drives_.find(address);
  if (drive == drives_.end())
    return std::nullopt;
  return drive->second.Parameter(reg);
}

bool DriveSimulator::SetParameter(int address, std::uint16_t reg, std::uint16_t raw) {
  std::lock_guard lock(mutex_);
  auto drive = drives_.find(address);
  if (drive == drives_.end())
    return false;
  // The ramp so far ran with the old value.
  drive->second.Advance(DriveNow());
  return drive->second.SetParameter(reg, raw);
}

bool DriveSimulator::LimitParameter(int address, std::uint16_t reg, std::int32_t raw) {
  std::lock_guard lock(mutex_);
  auto drive = drives_.find(address);
  return drive != drives_.end() && drive->second.LimitParameter(reg, raw);
}

bool DriveSimulator::MuteParameter(int address, std::uint16_t reg) {
  std::lock_guard lock(mutex_);
  auto drive = drives_.find(address);
  return drive != drives_.end() && drive->second.MuteParameter(reg);
}

std::optional<std::array<std::uint16_t, DriveModel::StatusRegisterCount>>
DriveSimulator::StatusBlock(int address) {
  std::lock_guard lock(mutex_);
  auto drive = drives_.find(address);
  if (drive == drives_.end())
    return std::nullopt;
  return drive->second.StatusBlock(DriveNow());
}

bool DriveSimulator::InjectDriveFault(int address, int code) {
  std::lock_guard lock(mutex_);
  auto drive = drives_.find(address);
  return drive != drives_.end() && drive->second.InjectFault(code, DriveNow());
}

void DriveSimulator::ResetDriveFaults() {
  std::lock_guard lock(mutex_);
  for (auto &entry : drives_)
    entry.second.Handle({static_cast<std::uint8_t>(entry.first), 0x06, 0x20, 0x00, 0x00, 0x09}, DriveNow());
}

int DriveSimulator::DriveFault(int address) const {
  std::lock_guard lock(mutex_);
  auto drive = drives_.find(address);
  return drive == drives_.end() ? 0 : drive->second.FaultCode();
}

void DriveSimulator::SetLineFaults(const LineFaults &faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
}

LineFaults DriveSimulator::Faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void DriveSimulator::SetLatency(int ms) {
  std::lock_guard lock(mutex_);
  latencyMs_ = ms;
}

std::vector<std::string> DriveSimulator::ReceivedFrames() const {
  std::lock_guard lock(mutex_);
  return std::vector<std::string>(received_.begin(), received_.end());
}

void DriveSimulator::ClearReceivedFrames() {
  std::lock_guard lock(mutex_);
  received_.clear();
}

int DriveSimulator::RepliesSent() const {
  std::lock_guard lock(mutex_);
  return repliesSent_;
}
