#pragma once

#include "sim/DriveLine.h"
#include "sim/DriveModel.h"
#include "sim/ModbusFraming.h"
#include "sim/ParameterImage.h"
#include "sim/PseudoTerminal.h"
#include "sim/TcpLine.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Faults put on the line on purpose, to see how the tool copes.
struct LineFaults {
  double dropProbability = 0;    // a reply is not sent
  double corruptProbability = 0; // a reply's LRC / CRC is wrong
  double garbageProbability = 0; // random bytes go out instead of the reply
  int splitPieces = 0;           // 2 or more: the reply goes out in pieces...
  int splitGapMs = 0;            // ...with this pause between them
  int lateMs = 0;                // extra wait before the reply
  int strayBytes = 0;            // this many random bytes follow each reply
  int noiseBytes = 0;            // this many random bytes come before each reply
  int twiceGapMs = -1;           // 0 or more: each reply is sent again this long after
  bool echo = false;             // every request comes back before its reply, as on an echoing adapter
  bool skewWrites = false;       // a write is answered with another value than was written

  bool operator==(const LineFaults &) const = default;
};

struct SimOptions {
  bool rtu = false;
  // Answer each request in the framing it came in, ASCII or RTU (rtu is then
  // not used), so that the drives follow whatever mode the master uses.
  bool followRequestMode = false;
  std::vector<int> drives{1};
  int baud = 0;      // > 0: replies go out at the pace of this line (10 bits a character)
  int latencyMs = 0; // the drive's processing time before it answers
  // Drives at line settings of their own, by address: each answers only
  // while the line is at them, as far as the line shows them (DriveLine.h).
  std::map<int, DriveLine> driveLines;
  // > 0: replies are handed over in packets this many ms apart, each what
  // the line carries in that time, as a USB adapter hands over what came in
  // each of its polling periods.
  int burstMs = 0;
  // 0 or more: serve the line over TCP on 127.0.0.1 at this port (0: any
  // free port), as a serial server would, instead of on a pseudo-terminal.
  int tcpPort = -1;
  // With tcpPort: Modbus TCP (each drive a unit id) to any number of
  // clients at once, as an Ethernet drive or a gateway serves, instead of a
  // serial line's bytes to one.
  bool modbusTcp = false;
  LineFaults faults;
  std::uint32_t seed = 1; // of the fault dice
  // Milliseconds of a steady clock for the drives' ramps; empty: the real
  // steady clock. Tests hand in a clock they move themselves.
  std::function<std::int64_t()> clock;
  // The parameter list the drives start from; empty: the shipped list.
  std::vector<ParameterDefinition> parameters;
  // How many of the latest requests ReceivedFrames() keeps.
  std::size_t recordLimit = 10000;
  // One line per request and reply; empty: nothing is logged.
  std::function<void(const std::string &)> log;
};

// Drives behind a pseudo-terminal (or a TCP port), served on a thread of
// their own.
// Every public member may be called from any thread.
class DriveSimulator {
public:
  explicit DriveSimulator(SimOptions options);
  ~DriveSimulator();
  DriveSimulator(const DriveSimulator &) = delete;
  DriveSimulator &operator=(const DriveSimulator &) = delete;

  // Opens the pseudo-terminal (or starts listening) and starts serving. False
  // with Error() on failure.
  bool Start();
  void Stop();
  const std::string &Error() const { return error_; }
  // The port name the tool opens: the serial end of the pseudo-terminal, or
  // "tcp:127.0.0.1:PORT".
  std::string SlavePath() const { return UsesTcp() ? tcp_.PortName() : pty_.SlavePath(); }

  bool Serves(int address) const;
  std::vector<int> Addresses() const;

  std::optional<std::uint16_t> Parameter(int address, std::uint16_t reg) const;
  bool SetParameter(int address, std::uint16_t reg, std::uint16_t raw);
  // The drive takes writes of the parameter above `raw` but holds `raw`
  // (DriveModel::LimitParameter).
  bool LimitParameter(int address, std::uint16_t reg, std::int32_t raw);
  // The drive leaves requests for the parameter unanswered
  // (DriveModel::MuteParameter).
  bool MuteParameter(int address, std::uint16_t reg);
  std::optional<std::array<std::uint16_t, DriveModel::StatusRegisterCount>> StatusBlock(int address);
  // Trips the drive with a fault code 4..25 until it is reset.
  bool InjectDriveFault(int address, int code);
  // Clears the faults of every drive, as a reset command to each would.
  void ResetDriveFaults();
  int DriveFault(int address) const;

  void SetLineFaults(const LineFaults &faults);
  LineFaults Faults() const;
  void SetLatency(int ms);

  // Puts `count` random bytes on the line at once and unpaced, as a device at
  // the wrong baud rate, a streaming meter or a failing converter would.
  // Returns when all are written (the reader must keep reading) or on Stop().
  bool SendBurst(std::size_t count, std::uint32_t seed = 1);

  // The requests seen on the line, valid or not, oldest first (the latest
  // recordLimit of them): ASCII the characters from ":" to LF, RTU the bytes
  // as upper-case hex text.
  std::vector<std::string> ReceivedFrames() const;
  void ClearReceivedFrames();
  int RepliesSent() const;

private:
  bool UsesTcp() const { return options_.tcpPort >= 0; }
  // Where requests come from and replies go: the pseudo-terminal's master
  // end, or the connected client (-1 while there is none).
  int LineFd() const { return UsesTcp() ? tcp_.ClientFd() : pty_.MasterFd(); }
  // The line settings the master set, as far as this end sees them.
  LineSeen Seen() const { return UsesTcp() ? LineSeen{} : pty_.Seen(); }
  // Whether the drive at `address` hears a request in `mode` now.
  bool Hears(int address, FrameMode mode) const;
  void Serve();
  void ServeModbusTcp();
  void HandleFrame(const ReceivedFrame &frame);
  int LatencyMs() const;
  // The drive's answer to a request (empty: none goes out), logged.
  std::vector<std::uint8_t> Answer(const ReceivedFrame &frame);
  void SendReply(const std::vector<std::uint8_t> &body, FrameMode mode);
  // `count` random bytes that no frame can be taken from; false when Stop()
  // or the line cut it short.
  std::vector<std::uint8_t> NoiseBytes(int count, FrameMode mode);
  bool SendNoise(int count, FrameMode mode);
  bool Chance(double probability);
  std::vector<std::uint8_t> Garbage(std::size_t length, FrameMode mode);
  bool WriteAll(const std::uint8_t *bytes, std::size_t count);
  // Sleeps; returns false when Stop() cut the wait short.
  bool Pause(int ms);
  std::int64_t DriveNow() const;
  void Log(const std::string &line) const;

  SimOptions options_;
  std::optional<FrameMode> mode_; // empty: each request's own
  PseudoTerminal pty_;
  TcpLine tcp_;
  std::string error_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::mutex writeMutex_; // a burst and a reply never interleave their bytes
  int wakeRead_ = -1;
  int wakeWrite_ = -1;

  mutable std::mutex mutex_; // guards everything below
  std::map<int, DriveModel> drives_;
  LineFaults faults_;
  int latencyMs_ = 0;
  std::mt19937 dice_;
  std::deque<std::string> received_;
  int repliesSent_ = 0;
};
