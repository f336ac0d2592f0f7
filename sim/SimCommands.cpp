#include "sim/SimCommands.h"

#include "params/ParameterCodes.h"
#include "sim/DriveSimulator.h"

#include <cctype>
#include <sstream>

namespace {

bool ParseInt(const std::string &text, int &value) {
  try {
    std::size_t used = 0;
    value = std::stoi(text, &used);
    return used == text.size();
  } catch (const std::exception &) {
    return false;
  }
}

bool ParseProbability(const std::string &text, double &value) {
  try {
    std::size_t used = 0;
    value = std::stod(text, &used);
    return used == text.size() && value >= 0 && value <= 1;
  } catch (const std::exception &) {
    return false;
  }
}

} // namespace

bool ParseDriveList(const std::string &text, std::vector<int> &drives, std::string &error,
                    std::map<int, DriveLine> *lines) {
  drives.clear();
  if (lines)
    lines->clear();
  std::stringstream items(text);
  std::string item;
  // The addresses of the last entry with a setting, which a parity or a
  // mode after it completes.
  std::vector<int> lastEntry;
  DriveLine line;
  auto bad = [&](const std::string &why) {
    error = why;
    return false;
  };
  auto keep = [&] {
    if (lines)
      for (int a : lastEntry)
        (*lines)[a] = line;
  };
  while (std::getline(items, item, ',')) {
    std::string lower = item;
    for (char &c : lower)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "n" || lower == "e" || lower == "o" || lower == "ascii" || lower == "rtu") {
      if (lastEntry.empty())
        return bad("'" + item + "' follows no @BAUD");
      if (lower.size() == 1) {
        if (line.parity || line.mode)
          return bad("parity '" + item + "' comes after the baud rate, before the mode");
        line.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(lower[0])));
      } else {
        if (line.mode)
          return bad("a second mode '" + item + "'");
        line.mode = lower == "rtu" ? FrameMode::Rtu : FrameMode::Ascii;
      }
      keep();
      continue;
    }
    std::string range = item;
    lastEntry.clear();
    line = {};
    if (const std::size_t at = item.find('@'); at != std::string::npos) {
      if (!lines)
        return bad("no line setting may be given here: '" + item + "'");
      range = item.substr(0, at);
      if (!ParseInt(item.substr(at + 1), line.baud) || line.baud <= 0)
        return bad("bad baud rate in '" + item + "'");
    }
    int first = 0, last = 0;
    std::size_t dash = range.find('-', 1);
    bool ok = dash == std::string::npos
                  ? ParseInt(range, first) && ParseInt(range, last)
                  : ParseInt(range.substr(0, dash), first) && ParseInt(range.substr(dash + 1), last);
    if (!ok || first < 1 || last > 247 || first > last)
      return bad("bad drive address or range '" + item + "' (addresses are 1 to 247)");
    for (int a = first; a <= last; ++a) {
      drives.push_back(a);
      if (line.baud > 0)
        lastEntry.push_back(a);
    }
    keep();
  }
  if (drives.empty())
    return bad("no drive address given");
  return true;
}

bool ApplySimCommand(DriveSimulator &sim, const std::string &line, std::string &error) {
  std::istringstream words(line);
  std::string verb, a, b, extra;
  words >> verb >> a >> b >> extra;
  if (!extra.empty()) {
    error = "too many words in '" + line + "'";
    return false;
  }
  LineFaults faults = sim.Faults();
  double p = 0;
  int n = 0, m = 0;
  auto bad = [&](const std::string &usage) {
    error = "usage: " + usage;
    return false;
  };

  if (verb == "drop" || verb == "corrupt" || verb == "garbage") {
    if (!b.empty() || !ParseProbability(a, p))
      return bad(verb + " PROBABILITY (0 to 1)");
    (verb == "drop"      ? faults.dropProbability
     : verb == "corrupt" ? faults.corruptProbability
                         : faults.garbageProbability) = p;
  } else if (verb == "split") {
    if (!ParseInt(a, n) || !ParseInt(b, m) || n < 0 || m < 0)
      return bad("split PIECES GAP_MS");
    faults.splitPieces = n;
    faults.splitGapMs = m;
  } else if (verb == "stray") {
    if (!b.empty() || !ParseInt(a, n) || n < 0 || n > 255)
      return bad("stray BYTES (0 to 255)");
    faults.strayBytes = n;
  } else if (verb == "noise") {
    if (!b.empty() || !ParseInt(a, n) || n < 0 || n > 255)
      return bad("noise BYTES (0 to 255)");
    faults.noiseBytes = n;
  } else if (verb == "twice") {
    if (!b.empty() || !ParseInt(a, n) || n < -1)
      return bad("twice GAP_MS (-1: off)");
    faults.twiceGapMs = n;
  } else if (verb == "echo" || verb == "skew-writes") {
    if (!b.empty() || (a != "on" && a != "off"))
      return bad(verb + " on|off");
    (verb == "echo" ? faults.echo : faults.skewWrites) = a == "on";
  } else if (verb == "late" || verb == "latency") {
    if (!b.empty() || !ParseInt(a, n) || n < 0)
      return bad(verb + " MS");
    if (verb == "latency") {
      sim.SetLatency(n);
      return true;
    }
    faults.lateMs = n;
  } else if (verb == "fault") {
    if (!ParseInt(a, n) || !ParseInt(b, m))
      return bad("fault ADDRESS CODE");
    if (!sim.InjectDriveFault(n, m)) {
      error = "no drive " + a + " or fault code " + b + " outside 4 to 25";
      return false;
    }
    return true;
  } else if (verb == "clamp") {
    // clamp ADDRESS:CODE VALUE, e.g. "clamp 1:F113 40.00"
    const std::size_t colon = a.find(':');
    const auto reg = colon == std::string::npos ? std::nullopt : RegisterOfCode(a.substr(colon + 1));
    if (!reg || !ParseInt(a.substr(0, colon), n))
      return bad("clamp ADDRESS:CODE VALUE");
    const auto raw = RawValueOf(b, DecimalPlaces(a.substr(colon + 2)));
    if (!raw || *raw < 0 || *raw > 0xFFFF || !sim.LimitParameter(n, *reg, *raw)) {
      error = "no drive " + a.substr(0, colon) + ", no " + a.substr(colon + 1) + " or a bad value " + b;
      return false;
    }
    return true;
  } else if (verb == "mute") {
    // mute ADDRESS:CODE, e.g. "mute 1:F114"
    const std::size_t colon = a.find(':');
    const auto reg = colon == std::string::npos ? std::nullopt : RegisterOfCode(a.substr(colon + 1));
    if (!b.empty() || !reg || !ParseInt(a.substr(0, colon), n))
      return bad("mute ADDRESS:CODE");
    if (!sim.MuteParameter(n, *reg)) {
      error = "no drive " + a.substr(0, colon) + " or no " + a.substr(colon + 1);
      return false;
    }
    return true;
  } else if (verb == "reset" && a.empty()) {
    sim.ResetDriveFaults();
    return true;
  } else if (verb == "off" && a.empty()) {
    faults = LineFaults{};
  } else {
    error = "unknown command '" + line + "'";
    return false;
  }
  sim.SetLineFaults(faults);
  return true;
}
