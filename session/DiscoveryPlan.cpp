#include "session/DiscoveryPlan.h"

#include "serial/TcpSerialServer.h"

#include <algorithm>

namespace DiscoveryPlan {

const std::vector<std::uint32_t> BaudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

namespace {
// The rates drives are most often left at come first; the slow ones, which
// cost the most per address, last.
const std::uint32_t LikelyRates[] = {9600, 19200, 38400, 115200, 57600, 4800, 2400, 1200};
const TParity LikelyParities[] = {TParity::Even, TParity::None, TParity::Odd};
const LineTrial Delivered{false, 9600, TParity::None};

template <typename T> bool Holds(const std::vector<T> &list, T value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}
} // namespace

std::vector<LineTrial> OrderedTrials(const TrialChoice &choice) {
  std::vector<std::uint32_t> rates;
  for (std::uint32_t rate : LikelyRates)
    if (Holds(choice.bauds, rate))
      rates.push_back(rate);
  for (std::uint32_t rate : choice.bauds)
    if (!Holds(rates, rate))
      rates.push_back(rate);

  std::vector<LineTrial> trials;
  auto add = [&](const LineTrial &trial) {
    const bool chosen = (trial.rtu ? choice.rtu : choice.ascii) && Holds(choice.bauds, trial.baud) &&
                        Holds(choice.parities, trial.parity);
    if (chosen && !Holds(trials, trial))
      trials.push_back(trial);
  };
  add(Delivered);
  for (std::uint32_t rate : rates)
    for (bool rtu : {true, false})
      for (TParity parity : LikelyParities)
        add({rtu, rate, parity});
  return trials;
}

std::vector<LineTrial> TcpPortTrials(const TrialChoice &choice) {
  std::vector<LineTrial> trials;
  if (choice.modbusTcp)
    trials.push_back({true, Delivered.baud, TParity::None, true, true});
  if (choice.rtu)
    trials.push_back({true, Delivered.baud, TParity::None, true, false});
  if (choice.ascii)
    trials.push_back({false, Delivered.baud, TParity::None, true, false});
  return trials;
}

std::vector<LineTrial> TrialsFor(const QString &port, const TrialChoice &choice) {
  return TcpSerialServer::IsTcpName(port) ? TcpPortTrials(choice) : OrderedTrials(choice);
}

int RequestCharacters(bool rtu) { return rtu ? 8 : 17; }

int ReplyCharacters(bool rtu) { return rtu ? 17 : 35; }

std::int64_t CharactersUs(const LineTrial &trial, int characters) {
  return static_cast<std::int64_t>(characters) * trial.CharacterBits() * 1'000'000 / trial.baud;
}

std::int64_t ListenUs(const LineTrial &trial, int allowanceMs) {
  return static_cast<std::int64_t>(allowanceMs) * 1000 + CharactersUs(trial, ListenCharacters);
}

std::int64_t SilentAddressUs(const LineTrial &trial, int allowanceMs) {
  return CharactersUs(trial, RequestCharacters(trial.rtu)) + ListenUs(trial, allowanceMs);
}

std::int64_t AddressLimitUs(const LineTrial &trial, int allowanceMs) {
  return CharactersUs(trial, 2 * RequestCharacters(trial.rtu) + ReplyCharacters(trial.rtu)) +
         static_cast<std::int64_t>(allowanceMs) * 1000 + ListenUs(trial, allowanceMs);
}

int AllowanceFor(int answerMs) { return (answerMs * 3 / 2 + 9) / 10 * 10; }

QString ParityLetter(TParity parity) {
  switch (parity) {
  case TParity::None:
    return QStringLiteral("N");
  case TParity::Even:
    return QStringLiteral("E");
  case TParity::Odd:
    return QStringLiteral("O");
  case TParity::Mark:
    return QStringLiteral("M");
  case TParity::Space:
    return QStringLiteral("S");
  }
  return {};
}

bool ParityFromLetter(const QString &letter, TParity &parity) {
  for (TParity candidate : LikelyParities)
    if (letter.compare(ParityLetter(candidate), Qt::CaseInsensitive) == 0) {
      parity = candidate;
      return true;
    }
  return false;
}

QString ModeName(bool rtu) { return rtu ? QStringLiteral("RTU") : QStringLiteral("ASCII"); }

QString ModeName(const LineTrial &trial) {
  return trial.modbusTcp ? QStringLiteral("TCP") : ModeName(trial.rtu);
}

QString TrialText(const LineTrial &trial) {
  if (trial.modbusTcp)
    return QStringLiteral("Modbus TCP");
  if (trial.overTcp)
    return ModeName(trial.rtu) + QStringLiteral(" over TCP");
  return QStringLiteral("%1 %2 %3%4%5")
      .arg(ModeName(trial.rtu))
      .arg(trial.baud)
      .arg(trial.DataBitCount())
      .arg(ParityLetter(trial.parity))
      .arg(trial.StopBitCount());
}

} // namespace DiscoveryPlan
