#include "sim/DriveModel.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

std::uint16_t Word(const std::vector<std::uint8_t> &bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void PutWord(std::vector<std::uint8_t> &bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

constexpr double StandInMaxHz = 50.0;
// Rated output voltage at the base frequency (linear V/f below it).
constexpr double RatedVolts = 380.0;
constexpr double BaseHz = 50.0;

} // namespace

DriveModel::DriveModel(int address, ParameterImage parameters, std::int64_t nowMs)
    : address_(address), parameters_(std::move(parameters)), lastMs_(nowMs) {}

std::vector<std::uint8_t> DriveModel::Handle(const std::vector<std::uint8_t> &request, std::int64_t nowMs) {
  Advance(nowMs);
  if (request.size() < 2)
    return {};
  if (request.size() >= 4) {
    const auto cell = parameters_.find(Word(request, 2));
    if (cell != parameters_.end() && cell->second.muted)
      return {};
  }
  switch (request[1]) {
  case 0x03:
    return ReadRegisters(request, nowMs);
  case 0x06:
    return WriteRegister(request, nowMs);
  case 0x11:
    return ReportServerId(request);
  default:
    return Exception(request, ExceptionCode::IllegalFunction);
  }
}

// Report server ID: the drive's address as its id, running or not, and its
// name; a reply whose length only its byte count tells.
std::vector<std::uint8_t> DriveModel::ReportServerId(const std::vector<std::uint8_t> &request) const {
  if (request.size() != 2)
    return Exception(request, ExceptionCode::IllegalValue);
  static constexpr char Name[] = "VOSSEK VFD";
  std::vector<std::uint8_t> reply{request[0], 0x11, static_cast<std::uint8_t>(2 + sizeof Name - 1),
                                  static_cast<std::uint8_t>(address_),
                                  command_ != Command::Stop ? std::uint8_t{0xFF} : std::uint8_t{0x00}};
  reply.insert(reply.end(), Name, Name + sizeof Name - 1);
  return reply;
}

std::vector<std::uint8_t> DriveModel::Exception(const std::vector<std::uint8_t> &request,
                                                ExceptionCode code) const {
  return {request[0], static_cast<std::uint8_t>(request[1] | 0x80), static_cast<std::uint8_t>(code)};
}

std::vector<std::uint8_t> DriveModel::ReadRegisters(const std::vector<std::uint8_t> &request,
                                                    std::int64_t nowMs) {
  if (request.size() != 6)
    return Exception(request, ExceptionCode::IllegalValue);
  std::uint16_t start = Word(request, 2);
  std::uint16_t count = Word(request, 4);
  std::vector<std::uint16_t> values;

  if (start >= StatusRegister && start < StatusRegister + StatusRegisterCount) {
    if (count < 1 || count > StatusRegisterCount)
      return Exception(request, ExceptionCode::IllegalValue);
    if (start + count > StatusRegister + StatusRegisterCount)
      return Exception(request, ExceptionCode::IllegalAddress);
    auto block = StatusBlock(nowMs);
    values.assign(block.begin() + (start - StatusRegister), block.begin() + (start - StatusRegister) + count);
  } else if (start == ControlRegister) {
    if (count != 1)
      return Exception(request, ExceptionCode::IllegalAddress);
    values.push_back(lastControlCode_);
  } else if (start < ParameterRegisterEnd) {
    if (count < 1 || count > MaxParameterReadCount)
      return Exception(request, ExceptionCode::IllegalValue);
    for (std::uint16_t reg = start; reg < start + count; ++reg) {
      auto cell = parameters_.find(reg);
      if (cell == parameters_.end())
        return Exception(request, ExceptionCode::IllegalAddress);
      values.push_back(cell->second.readable ? cell->second.value : 0xFFFF);
    }
  } else {
    return Exception(request, ExceptionCode::IllegalAddress);
  }

  std::vector<std::uint8_t> reply{request[0], request[1], static_cast<std::uint8_t>(values.size() * 2)};
  for (std::uint16_t v : values)
    PutWord(reply, v);
  return reply;
}

std::vector<std::uint8_t> DriveModel::WriteRegister(const std::vector<std::uint8_t> &request,
                                                    std::int64_t nowMs) {
  if (request.size() != 6)
    return Exception(request, ExceptionCode::IllegalValue);
  std::uint16_t reg = Word(request, 2);
  std::uint16_t value = Word(request, 4);

  if (reg == ControlRegister) {
    if (!ApplyControlCode(value, nowMs))
      return Exception(request, ExceptionCode::IllegalValue);
    return request;
  }
  auto cell = parameters_.find(reg);
  if (reg >= ParameterRegisterEnd || cell == parameters_.end())
    return Exception(request, ExceptionCode::IllegalAddress);
  ParameterCell &p = cell->second;
  if (!p.writeable || value < p.min || value > p.max)
    return Exception(request, ExceptionCode::IllegalValue);
  p.value = p.holdsAtMost >= 0 && value > p.holdsAtMost ? static_cast<std::uint16_t>(p.holdsAtMost) : value;
  return request;
}

bool DriveModel::ApplyControlCode(std::uint16_t code, std::int64_t nowMs) {
  Advance(nowMs);
  bool tripped = fault_ != 0;
  switch (code) {
  case 0x0001: // start forward
  case 0x0002: // start reverse
  case 0x0008: // start in the last direction
    if (code != 0x0008)
      direction_ = code == 0x0001 ? 1 : -1;
    if (!tripped) {
      command_ = Command::Run;
      jogRamp_ = false;
    }
    break;
  case 0x0003: // decelerating stop
    if (command_ != Command::Jog)
      jogRamp_ = false;
    command_ = Command::Stop;
    break;
  case 0x0004: // free stop: the output is cut, the motor coasts
    command_ = Command::Stop;
    outputHz_ = 0;
    break;
  case 0x0005: // jog pressed
  case 0x000A:
    // A running drive ignores jog.
    if (!tripped && command_ != Command::Run) {
      command_ = Command::Jog;
      jogDirection_ = code == 0x0005 ? 1 : -1;
      jogRamp_ = true;
    }
    break;
  case 0x0006: // jog released
  case 0x000B:
    if (command_ == Command::Jog && jogDirection_ == (code == 0x0006 ? 1 : -1))
      command_ = Command::Stop;
    break;
  case 0x0009: // reset
    fault_ = 0;
    break;
  default:
    return false;
  }
  lastControlCode_ = code;
  return true;
}

bool DriveModel::InjectFault(int code, std::int64_t nowMs) {
  if (code < FirstFaultCode || code > LastFaultCode)
    return false;
  Advance(nowMs);
  for (std::uint16_t reg = LastFaultRegister + 2; reg > LastFaultRegister; --reg)
    SetParameter(reg, Parameter(reg - 1).value_or(0));
  SetParameter(LastFaultRegister, static_cast<std::uint16_t>(code));
  SetParameter(LastFaultFrequencyRegister,
               static_cast<std::uint16_t>(std::lround(std::fabs(outputHz_) * 100)));
  fault_ = code;
  command_ = Command::Stop;
  outputHz_ = 0;
  return true;
}

double DriveModel::ParameterValue(std::uint16_t reg, double fallback) const {
  auto cell = parameters_.find(reg);
  if (cell == parameters_.end())
    return fallback;
  return cell->second.value / std::pow(10.0, cell->second.decimals);
}

double DriveModel::TargetHz() const {
  switch (command_) {
  case Command::Run:
    return direction_ * ParameterValue(SetFrequencyRegister, 0);
  case Command::Jog:
    return jogDirection_ * ParameterValue(JogFrequencyRegister, 0);
  case Command::Stop:
    break;
  }
  return 0;
}

double DriveModel::RampRate(bool accelerating) const {
  std::uint16_t timeRegister = jogRamp_ ? (accelerating ? JogAccelerationRegister : JogDecelerationRegister)
                                        : (accelerating ? AccelerationRegister : DecelerationRegister);
  double seconds = ParameterValue(timeRegister, 0);
  if (seconds <= 0)
    return 0;
  double maxHz = ParameterValue(MaxFrequencyRegister, StandInMaxHz);
  if (maxHz <= 0)
    maxHz = StandInMaxHz;
  return maxHz / seconds;
}

void DriveModel::Advance(std::int64_t nowMs) {
  double seconds = (nowMs - lastMs_) / 1000.0;
  if (nowMs > lastMs_)
    lastMs_ = nowMs;
  double target = TargetHz();
  // Towards the target; a change of direction first runs down to 0.
  while (seconds > 0 && outputHz_ != target) {
    bool sameSide = outputHz_ == 0 || (outputHz_ > 0) == (target > 0);
    bool accelerating = sameSide && target != 0 && std::fabs(target) > std::fabs(outputHz_);
    double goal = sameSide ? target : 0;
    double rate = RampRate(accelerating);
    double distance = std::fabs(goal - outputHz_);
    if (rate == 0 || distance <= rate * seconds) {
      seconds -= rate == 0 ? 0 : distance / rate;
      outputHz_ = goal;
      continue;
    }
    outputHz_ += (goal > outputHz_ ? 1 : -1) * rate * seconds;
    seconds = 0;
  }
  if (command_ == Command::Stop && outputHz_ == 0)
    jogRamp_ = false;
}

int DriveModel::StatusCode() const {
  if (fault_ != 0)
    return fault_;
  double turning = command_ != Command::Stop ? TargetHz() : outputHz_;
  if (turning == 0 && command_ != Command::Stop)
    turning = command_ == Command::Jog ? jogDirection_ : direction_;
  if (turning > 0)
    return 1;
  if (turning < 0)
    return 2;
  return 0;
}

std::array<std::uint16_t, DriveModel::StatusRegisterCount> DriveModel::StatusBlock(std::int64_t nowMs) {
  Advance(nowMs);
  double hz = std::fabs(outputHz_);
  auto frequency = static_cast<std::uint16_t>(std::lround(hz * 100));
  auto volts = static_cast<std::uint16_t>(std::lround(std::min(RatedVolts, RatedVolts * hz / BaseHz)));
  // Magnetising current plus a load that grows with the speed.
  auto current = static_cast<std::uint16_t>(frequency == 0 ? 0 : std::lround(150 + 7 * hz));
  return {frequency,  volts,
          current,    static_cast<std::uint16_t>(PoleCount << 8),
          DcBusVolts, static_cast<std::uint16_t>(FrequencyScale << 8 | StatusCode())};
}

std::optional<std::uint16_t> DriveModel::Parameter(std::uint16_t reg) const {
  auto cell = parameters_.find(reg);
  if (cell == parameters_.end())
    return std::nullopt;
  return cell->second.value;
}

namespace {
// Changes the cell of `reg`, if the drive has one.
bool ChangeCell(ParameterImage &parameters, std::uint16_t reg,
                const std::function<void(ParameterCell &)> &change) {
  auto cell = parameters.find(reg);
  if (cell == parameters.end())
    return false;
  change(cell->second);
  return true;
}
} // namespace

bool DriveModel::SetParameter(std::uint16_t reg, std::uint16_t raw) {
  return ChangeCell(parameters_, reg, [raw](ParameterCell &cell) { cell.value = raw; });
}

bool DriveModel::LimitParameter(std::uint16_t reg, std::int32_t raw) {
  return ChangeCell(parameters_, reg, [raw](ParameterCell &cell) { cell.holdsAtMost = raw; });
}

bool DriveModel::MuteParameter(std::uint16_t reg) {
  return ChangeCell(parameters_, reg, [](ParameterCell &cell) { cell.muted = true; });
}
