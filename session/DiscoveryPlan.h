#pragma once

#include "serial/LineSettings.h"

#include <QString>
#include <cstdint>
#include <vector>

// What a search for drives of unknown line settings tries, in which order,
// and how long it listens at each address.
namespace DiscoveryPlan {

// One line setting to try. The data bits follow the mode as in the protocol
// settings (7 for ASCII, 8 for RTU); the stop bits are 1, as delivered: a
// receiver looks at the first stop bit only, so a drive sending two is heard,
// and hears us, all the same.
struct LineTrial {
  bool rtu = false;
  std::uint32_t baud = 9600;
  TParity parity = TParity::None;
  // Over a TCP port (a serial server, a Modbus TCP gateway) the line, if
  // there is one, runs at the settings made on the server: only the framing
  // is ours, and the rate above merely times the listening.
  bool overTcp = false;
  bool modbusTcp = false; // the MBAP header and no checksum; over TCP only

  TByteSize DataBits() const { return rtu ? TByteSize::_8 : TByteSize::_7; }
  int DataBitCount() const { return rtu ? 8 : 7; }
  TStopBits StopBits() const { return TStopBits::_1; }
  int StopBitCount() const { return 1; }
  // Start bit, data bits, parity bit, stop bit.
  int CharacterBits() const {
    return 1 + DataBitCount() + (parity == TParity::None ? 0 : 1) + StopBitCount();
  }

  bool operator==(const LineTrial &) const = default;
};

// The rates of the protocol settings' list, slowest first.
extern const std::vector<std::uint32_t> BaudRates;

// What the user chose to try; empty lists try nothing.
struct TrialChoice {
  bool ascii = true;
  bool rtu = true;
  std::vector<std::uint32_t> bauds = BaudRates;
  std::vector<TParity> parities = {TParity::None, TParity::Even, TParity::Odd};
  bool modbusTcp = false; // over a TCP port only
};

// The settings of `choice`, each once, most likely first: the delivered
// setting (ASCII 9600 7N1) when chosen, then rate by rate 9600, 19200, 38400,
// 115200, 57600, 4800, 2400, 1200 (others chosen after those, in their
// order); at each rate RTU before ASCII and even parity (Modbus's own
// default) before none and odd.
std::vector<LineTrial> OrderedTrials(const TrialChoice &choice);
// Over a TCP port the rates and parities of `choice` mean nothing: one trial
// for each framing chosen, Modbus TCP first, then RTU, then ASCII.
std::vector<LineTrial> TcpPortTrials(const TrialChoice &choice);
// TcpPortTrials for a "tcp:" port, else OrderedTrials (Modbus TCP left out).
std::vector<LineTrial> TrialsFor(const QString &port, const TrialChoice &choice);

// The status read of one drive on the line: ASCII 17 characters (":", 14
// hex digits of body and LRC, CR LF), RTU 8 bytes.
int RequestCharacters(bool rtu);
// The drive's status block in reply: ASCII 35 characters, RTU 17 bytes.
int ReplyCharacters(bool rtu);

// The drive's allowance, delivered: the time a drive may take from the end
// of a request to the first character of its reply.
constexpr int DeliveredAllowanceMs = 25;
// Character times added to the allowance: an RTU frame's silence of 3.5
// characters rounded up, so that a reply's start is never cut.
constexpr int ListenCharacters = 4;

// Microseconds `characters` characters take on the line.
std::int64_t CharactersUs(const LineTrial &trial, int characters);
// How long an address is listened to after its request is on the line, and
// how long a reply that has begun may pause between two of its characters:
// the allowance plus ListenCharacters characters.
std::int64_t ListenUs(const LineTrial &trial, int allowanceMs);
// The least an address where nobody answers can take: its request on the
// line, then ListenUs.
std::int64_t SilentAddressUs(const LineTrial &trial, int allowanceMs);
// The most an address may take however the line chatters: its request and
// an echo of it, the allowance, the longest status reply, and one pause of
// ListenUs within the reply. Bytes still coming then are not its drive's.
std::int64_t AddressLimitUs(const LineTrial &trial, int allowanceMs);
// The allowance to search again with when a drive's answer began `answerMs`
// after its request was on the line: half as much again, in tens.
int AllowanceFor(int answerMs);

// "N", "E", "O" (as the protocol settings list them); Mark and Space "M", "S".
QString ParityLetter(TParity parity);
// The parity of a letter N, E or O in either case; false for anything else.
bool ParityFromLetter(const QString &letter, TParity &parity);
QString ModeName(bool rtu);
// "ASCII", "RTU" or "TCP" (Modbus TCP)
QString ModeName(const LineTrial &trial);
// "RTU 19200 8E1"; over a TCP port "RTU over TCP", "Modbus TCP"
QString TrialText(const LineTrial &trial);

} // namespace DiscoveryPlan
