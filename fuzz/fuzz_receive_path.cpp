// The exchange engine judging whatever comes down the line, without any
// window, once with replies judged at the end of their reply window and once
// as soon as they are complete. One input is:
//   byte 0: bit 0 RTU (else ASCII), bit 1 the user's command awaits its reply,
//           bit 2 a sequence step awaits its reply, bit 3 read all runs,
//           bit 4 write all runs, bit 5 the common-parameter edit,
//           bit 6 the reply window passes twice (a late rest of a reply)
//   byte 1: the active tab (modulo 3)
//   byte 2: the drive address shown in MachineID
//   byte 3: low 4 bits choose the last request sent (15: the next bytes up to
//           a ';' are the request text itself)
//   the rest: pieces of received bytes, each a length byte and its bytes
// The port stays closed, so nothing the engine might send goes out.
#include "exchange/ExchangeEngine.h"
#include "serial/TComm.h"
#include "tests/support/EngineStateAccess.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <string>

namespace {
// Requests the program really sends: parameter reads and writes, status
// reads, control commands, a broadcast, a long user's read.
const char *const KnownRequests[] = {"010300000001", "010310000006", "010620000001", "010600050064",
                                     "0A0310000006", "000620000005", "F70300000001", "010300100002",
                                     "01030000007D", "011000000001", "0103FFFF0001", "01062000FFFF",
                                     "000300000001", "FF0300000001", "0103"};

TComm *Port = nullptr;
TExchangeEngine *Engine = nullptr;

// Ticks until the exchange is over, as the send timer would; a reply window
// of 0 ms passes at the second tick.
bool TickUntilSettled() {
  CommState &s = EngineStateAccess::Of(*Engine);
  for (int tick = 0; tick < 4 && (s.WaitingReply || !s.ReceiveBuffer.empty()); ++tick) {
    try {
      Engine->Tick();
    } catch (const std::exception &) {
      // a conversion error ends the handler and goes to the error box
    }
  }
  return !s.WaitingReply && s.ReceiveBuffer.empty();
}

void RunOnce(const std::uint8_t *data, std::size_t size, bool completeOnReply) {
  const std::uint8_t flags = data[0];
  std::size_t at = 4;
  std::string request;
  if ((data[3] & 0x0F) == 15) {
    while (at < size && data[at] != ';')
      request += static_cast<char>(data[at++]);
    at = std::min(at + 1, size); // past the ';'
  } else {
    request = KnownRequests[(data[3] & 0x0F) % std::size(KnownRequests)];
  }

  Port->SetByteSize((flags & 1) ? TByteSize::_8 : TByteSize::_7);
  Engine->SetCompleteOnReply(completeOnReply);
  Engine->SetSequenceShown(data[1] % 3 == 2);
  Engine->SetMachineId(QString::number(data[2]));
  // each input a line of its own: nothing learnt or held from the one before
  Engine->ForgetLine();
  CommState &s = EngineStateAccess::Of(*Engine);
  s = CommState{};
  s.TickMs = 1;
  Engine->TimeoutMs = 0;
  s.LastSentFrame = request;
  s.UserCmdAwaitingReply = flags & 2;
  s.SequenceAwaitingReply = flags & 4;
  s.ReadAllActive = flags & 8;
  s.WriteAllActive = flags & 16;
  s.WaitingReply = true;

  const int windows = (flags & 64) ? 2 : 1;
  for (int window = 0; window < windows; ++window) {
    const std::size_t end = window + 1 == windows ? size : at + (size - at) / 2;
    while (at < end) {
      const std::size_t declared = data[at++];
      const std::size_t length = std::min(declared, end - at);
      try {
        Engine->ReceiveData(reinterpret_cast<const char *>(data + at), static_cast<unsigned>(length));
      } catch (const std::exception &) {
        // judged at its last byte, a reply may raise like at a tick
      }
      at += length;
    }
    // whatever the bytes were, the exchange ends and the buffer empties
    if (!TickUntilSettled())
      std::abort();
    if (s.TotalRecords != 0) // nothing was pending, so nothing may go out
      std::abort();
  }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static int argc = 1;
  static char name[] = "fuzz_receive_path";
  static char *argv[] = {name, nullptr};
  new QCoreApplication(argc, argv); // lives as long as the process
  Port = new TComm;
  Engine = new TExchangeEngine;
  Engine->SetPort(Port);
  Engine->Timer->stop(); // the input decides when the reply window passes
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 4)
    return 0;
  RunOnce(data, size, false);
  RunOnce(data, size, true);
  return 0;
}
