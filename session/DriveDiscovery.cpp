#include "session/DriveDiscovery.h"

#include "drive/RequestBodies.h"
#include "exchange/ReplyCompletion.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"
#include "protocol/ReplyCheck.h"
#include "protocol/ReplyRejection.h"
#include "serial/TComm.h"

#include <algorithm>

namespace {
int CeilMs(std::int64_t us) { return static_cast<int>((us + 999) / 1000); }

// Exceptions 0A (no path to the target) and 0B (the target did not answer)
// come from a gateway, not from a drive.
bool IsGatewaysSilence(int exceptionCode) { return exceptionCode == 0x0A || exceptionCode == 0x0B; }
} // namespace

DriveDiscovery::DriveDiscovery(QObject *parent) : QObject(parent), comm_(new TComm(this)) {
  qRegisterMetaType<FoundDrive>();
  qRegisterMetaType<SuspectReply>();
  listen_.setSingleShot(true);
  // The listening times are a few milliseconds: a coarse timer would add
  // as much again to every silent address.
  listen_.setTimerType(Qt::PreciseTimer);
  connect(&listen_, &QTimer::timeout, this, &DriveDiscovery::Listened);
  comm_->OnReceiveData = [this](TComm *, const char *data, std::uint16_t length) { Received(data, length); };
}

DriveDiscovery::~DriveDiscovery() { comm_->ClosePort(); }

bool DriveDiscovery::Start(const DiscoverySearch &search) {
  if (running_)
    return false;
  search_ = search;
  running_ = true;
  trial_ = 0;
  address_ = search_.from;
  clock_.start();
  if (search_.trials.empty() || search_.from > search_.to) {
    Finish(DiscoveryEnd::Searched);
    return true;
  }
  BeginTrial();
  return true;
}

void DriveDiscovery::Stop() {
  if (running_)
    Finish(DiscoveryEnd::Stopped);
}

void DriveDiscovery::BeginTrial() {
  const DiscoveryPlan::LineTrial &trial = search_.trials[trial_];
  // On an open port each change is applied at once.
  comm_->SetByteSize(trial.DataBits());
  comm_->SetBaudRate(trial.baud);
  comm_->SetParity(trial.parity);
  comm_->SetStopBits(trial.StopBits());
  if (!comm_->PortOpen()) {
    comm_->SetCommName(search_.port);
    comm_->OpenPort();
    if (!comm_->PortOpen()) {
      const QString reason = comm_->PortOpenReason();
      Finish(DiscoveryEnd::PortFailed, comm_->PortOpenError() + ' ' + search_.port +
                                           (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
      return;
    }
  }
  SendRequest();
}

void DriveDiscovery::SendRequest() {
  const DiscoveryPlan::LineTrial &trial = search_.trials[trial_];
  request_ = RequestBodies::Status(address_);
  if (trial.rtu) {
    sent_ = BuildRtuFrame(request_, false).bytes;
  } else {
    const std::string frame = AsciiFrameText(request_) + "\r\n";
    sent_.assign(frame.begin(), frame.end());
  }
  heard_.clear();
  echoChecked_ = false;
  emit Progress(static_cast<int>(trial_), static_cast<int>(search_.trials.size()), address_, trial);
  if (!running_)
    return;
  comm_->WriteData(sent_.data(), static_cast<std::uint16_t>(sent_.size()));
  listen_.start(CeilMs(DiscoveryPlan::SilentAddressUs(trial, search_.allowanceMs)));
}

bool DriveDiscovery::PastEcho() {
  if (echoChecked_)
    return true;
  const std::size_t common = std::min(heard_.size(), sent_.size());
  if (!std::equal(heard_.begin(), heard_.begin() + static_cast<std::ptrdiff_t>(common), sent_.begin())) {
    echoChecked_ = true; // no echo: a reply from the start
    return true;
  }
  if (heard_.size() < sent_.size())
    return false;
  heard_.erase(heard_.begin(), heard_.begin() + static_cast<std::ptrdiff_t>(sent_.size()));
  echoChecked_ = true;
  return true;
}

void DriveDiscovery::Received(const char *data, std::uint16_t length) {
  // Bytes after an address's time belong to no request: they are dropped
  // when the next one goes out.
  if (!running_ || !listen_.isActive())
    return;
  heard_.insert(heard_.end(), data, data + length);
  if (!PastEcho() || heard_.empty())
    return; // the request heard back is no answer: the address keeps its time
  const DiscoveryPlan::LineTrial &trial = search_.trials[trial_];
  const ReplyCompletion::Extent extent =
      trial.rtu ? ReplyCompletion::RtuExtent(BytesToHex(heard_.data(), heard_.size()), request_)
                : ReplyCompletion::AsciiExtent(std::string(heard_.begin(), heard_.end()));
  if (extent.state == ReplyCompletion::State::Complete) {
    heard_.resize(trial.rtu ? extent.length / 2 : extent.length);
    Judge();
    return;
  }
  // A reply has begun: it may pause as long as a reply may take to start.
  listen_.start(CeilMs(DiscoveryPlan::ListenUs(trial, search_.allowanceMs)));
}

void DriveDiscovery::Listened() {
  if (!running_)
    return;
  if (!PastEcho() || heard_.empty()) {
    Next(); // nobody at this address, at this setting
    return;
  }
  Judge(); // what came is all that will come
}

void DriveDiscovery::Judge() {
  listen_.stop();
  const DiscoveryPlan::LineTrial trial = search_.trials[trial_];
  std::string body, text;
  std::vector<std::uint8_t> bytes;
  if (trial.rtu) {
    bytes = heard_;
    body = text = BytesToHex(bytes.data(), bytes.size());
  } else {
    const AsciiReply reply = SplitAsciiReply(std::string(heard_.begin(), heard_.end()));
    body = reply.body;
    text = reply.text;
    bytes = reply.bytes;
  }
  const QString received = trial.rtu ? QString::fromStdString(text)
                                     : QString::fromLatin1(reinterpret_cast<const char *>(heard_.data()),
                                                           static_cast<qsizetype>(heard_.size()));
  const bool wellFormed = trial.rtu || !bytes.empty();
  if (wellFormed && CheckReply(body, request_, trial.rtu) == ReplyFault::None) {
    FoundDrive drive{address_, trial, DecodeStatusReply(bytes.data(), LocaleDecimalSeparator), {}};
    drive.state = QString::fromStdString(drive.status.machineStatus);
    emit DriveFound(drive);
  } else {
    const ReplyRejection rejection = wellFormed ? ClassifyRejection(text, body, request_, trial.rtu)
                                                : ReplyRejection{ReplyRejection::Kind::Malformed};
    const QString why = QString::fromStdString(RejectionWords(rejection));
    if (rejection.kind == ReplyRejection::Kind::Exception && IsGatewaysSilence(rejection.exceptionCode)) {
      Next(); // a gateway on the way says that nobody answered
      return;
    }
    if (rejection.kind == ReplyRejection::Kind::Exception) {
      // A drive that refuses the read is a drive at this setting all the same.
      FoundDrive drive{address_, trial, {}, "refuses the status read: " + why};
      drive.status.address = address_;
      emit DriveFound(drive);
    } else {
      emit SuspectAnswer({address_, trial, why, received});
      Next();
      return;
    }
  }
  if (running_ && search_.stopAtFirst)
    Finish(DiscoveryEnd::FirstFound);
  else
    Next();
}

void DriveDiscovery::Next() {
  if (!running_)
    return;
  if (++address_ <= search_.to) {
    SendRequest();
    return;
  }
  address_ = search_.from;
  if (++trial_ >= search_.trials.size()) {
    Finish(DiscoveryEnd::Searched);
    return;
  }
  BeginTrial();
}

void DriveDiscovery::Finish(DiscoveryEnd end, const QString &portFailure) {
  listen_.stop();
  running_ = false;
  elapsedMs_ = clock_.elapsed();
  comm_->ClosePort();
  emit Finished(end, portFailure);
}
