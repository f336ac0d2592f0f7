#include "session/DriveDiscovery.h"

#include "drive/RequestBodies.h"
#include "protocol/HexText.h"
#include "protocol/ReceiveLimit.h"
#include "protocol/UnitCheck.h"
#include "serial/TComm.h"

#include <algorithm>

namespace {
int CeilMs(std::int64_t us) { return static_cast<int>((us + 999) / 1000); }

// Exceptions 0A (no path to the target) and 0B (the target did not answer)
// come from a gateway, not from a drive.
bool IsGatewaysSilence(int exceptionCode) { return exceptionCode == 0x0A || exceptionCode == 0x0B; }

QString Addresses(int from, int to) {
  return from == to ? QString::number(from) : QStringLiteral("%1-%2").arg(from).arg(to);
}

const Codec &CodecOfTrial(const DiscoveryPlan::LineTrial &trial) {
  return trial.modbusTcp ? Codecs::Tcp : trial.rtu ? Codecs::Rtu : Codecs::Ascii;
}

// What came, as a suspect answer shows it: hex pairs, or ASCII's characters.
QString Shown(const std::vector<std::uint8_t> &received, const DiscoveryPlan::LineTrial &trial) {
  if (trial.rtu)
    return QString::fromStdString(BytesToHex(received.data(), received.size()));
  return QString::fromLatin1(reinterpret_cast<const char *>(received.data()),
                             static_cast<qsizetype>(received.size()));
}

Unit StatusRequest(int address) { return UnitOfBody(RequestBodies::Status(address)); }
} // namespace

DriveDiscovery::DriveDiscovery(QObject *parent) : QObject(parent), comm_(new TComm(this)) {
  qRegisterMetaType<FoundDrive>();
  qRegisterMetaType<SuspectReply>();
  qRegisterMetaType<LateReply>();
  listen_.setSingleShot(true);
  // The listening times are a few milliseconds: a coarse timer would add
  // as much again to every silent address.
  listen_.setTimerType(Qt::PreciseTimer);
  connect(&listen_, &QTimer::timeout, this, &DriveDiscovery::Listened);
  comm_->OnReceiveData = [this](TComm *, const char *data, std::uint16_t length) { Received(data, length); };
  comm_->OnRequestHangup = [this](TComm *) { LineGone(); };
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
  // On an open port each change is applied at once. Over TCP the line is
  // the server's to set.
  if (!trial.overTcp) {
    comm_->SetByteSize(trial.DataBits());
    comm_->SetBaudRate(trial.baud);
    comm_->SetParity(trial.parity);
    comm_->SetStopBits(trial.StopBits());
  }
  asked_.clear();
  busySaid_ = false;
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
  request_ = StatusRequest(address_);
  if (trial.modbusTcp)
    ++transaction_;
  sent_ = CodecOfTrial(trial).frame(request_, transaction_);
  heard_.clear();
  dropped_ = 0;
  echoChecked_ = trial.modbusTcp; // TCP carries no echo
  echoed_ = false;
  answerMs_ = -1;
  emit Progress(static_cast<int>(trial_), static_cast<int>(search_.trials.size()), address_, trial);
  if (!running_)
    return;
  const qint64 now = clock_.elapsed();
  asked_.push_back({address_, now, transaction_, request_});
  limitMs_ = now + CeilMs(DiscoveryPlan::AddressLimitUs(trial, search_.allowanceMs));
  capped_ = false;
  if (!comm_->WriteData(sent_.data(), static_cast<std::uint16_t>(sent_.size()))) {
    LineGone();
    return;
  }
  listen_.start(CeilMs(DiscoveryPlan::SilentAddressUs(trial, search_.allowanceMs)));
}

void DriveDiscovery::ListenFor(std::int64_t us) {
  const qint64 left = std::max<qint64>(limitMs_ - clock_.elapsed(), 0);
  capped_ = CeilMs(us) >= left;
  listen_.start(static_cast<int>(capped_ ? left : CeilMs(us)));
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
  echoChecked_ = echoed_ = true;
  return true;
}

void DriveDiscovery::Received(const char *data, std::uint16_t length) {
  // Bytes after an address's time belong to no request: they are dropped
  // when the next one goes out.
  if (!running_ || !listen_.isActive())
    return;
  // More than a reply can hold is noise: counted, not kept.
  const std::size_t kept = ReceiveLimit::Kept(heard_.size(), length);
  heard_.insert(heard_.end(), data, data + kept);
  dropped_ += length - kept;
  if (!PastEcho() || heard_.empty())
    return; // the request heard back is no answer: the address keeps its time
  if (answerMs_ < 0)
    answerMs_ = clock_.elapsed();
  const DiscoveryPlan::LineTrial &trial = search_.trials[trial_];
  const ReplyExtent extent = CodecOfTrial(trial).extent(heard_, request_);
  if (extent.state == ReplyExtent::State::Complete) {
    heard_.resize(extent.length);
    dropped_ = 0;
    Judge();
    return;
  }
  // A reply has begun: it may pause as long as a reply may take to start.
  ListenFor(DiscoveryPlan::ListenUs(trial, search_.allowanceMs));
}

void DriveDiscovery::Listened() {
  if (!running_)
    return;
  if (!PastEcho() || heard_.empty()) {
    Next(); // nobody at this address, at this setting
    return;
  }
  if (capped_) {
    // Still coming at the end of the address's time: no drive's reply.
    if (!busySaid_)
      emit LineBusy(address_, search_.trials[trial_]);
    busySaid_ = true;
    Next();
    return;
  }
  Judge(); // what came is all that will come
}

void DriveDiscovery::LineGone() {
  if (running_)
    Finish(DiscoveryEnd::LineLost, LostText());
}

QString DriveDiscovery::LostText() const {
  const QString setting = DiscoveryPlan::TrialText(search_.trials[trial_]);
  QString text = QStringLiteral("the line went away at %1, address %2; addresses not tried: %3 at %1")
                     .arg(setting)
                     .arg(address_)
                     .arg(Addresses(address_, search_.to));
  const std::size_t after = search_.trials.size() - trial_ - 1;
  if (after == 1)
    text += QStringLiteral(", %1 at the setting after it").arg(Addresses(search_.from, search_.to));
  else if (after > 1)
    text += QStringLiteral(", %1 at each of the %2 settings after it")
                .arg(Addresses(search_.from, search_.to))
                .arg(after);
  return text;
}

const DriveDiscovery::Asked *DriveDiscovery::AnsweredEarlier(const Unwrapped &reply) const {
  const bool tcp = search_.trials[trial_].modbusTcp;
  const bool right = reply.fault == Unwrapped::Fault::None;
  for (auto asked = asked_.rbegin() + 1; asked < asked_.rend(); ++asked)
    if ((!tcp || asked->transaction == reply.transaction) &&
        CheckUnit(reply.unit, right, asked->request) == ReplyFault::None)
      return &*asked;
  return nullptr;
}

void DriveDiscovery::Judge() {
  listen_.stop();
  const DiscoveryPlan::LineTrial trial = search_.trials[trial_];
  const Codec &codec = CodecOfTrial(trial);
  const Unwrapped reply = codec.unwrap(heard_);
  const bool framed = reply.fault == Unwrapped::Fault::None || reply.fault == Unwrapped::Fault::Checksum;
  const bool ours = !trial.modbusTcp || reply.transaction == transaction_;
  if (framed && ours &&
      CheckUnit(reply.unit, reply.fault == Unwrapped::Fault::None, request_) == ReplyFault::None) {
    FoundDrive drive{
        address_, trial, DecodeStatusReply(reply.unit.bytes.data(), LocaleDecimalSeparator), {}, echoed_};
    drive.state = QString::fromStdString(drive.status.machineStatus);
    emit DriveFound(drive);
  } else if (const Asked *earlier = framed ? AnsweredEarlier(reply) : nullptr) {
    // A drive asked before answered only now: this address has had no
    // time of its own, and is asked once more.
    const int answerMs = static_cast<int>(answerMs_ - earlier->atMs);
    emit LateAnswer({earlier->address, trial, answerMs, DiscoveryPlan::AllowanceFor(answerMs)});
    if (running_ && !askedAgain_) {
      askedAgain_ = true;
      SendRequest();
    } else {
      Next();
    }
    return;
  } else {
    const ReplyRejection rejection = framed && ours ? RejectionOfUnit(codec, heard_, reply, request_)
                                                    : ReplyRejection{ReplyRejection::Kind::Malformed};
    const QString why = QString::fromStdString(RejectionWords(rejection));
    if (rejection.kind == ReplyRejection::Kind::Exception && IsGatewaysSilence(rejection.exceptionCode)) {
      Next(); // a gateway on the way says that nobody answered
      return;
    }
    if (rejection.kind == ReplyRejection::Kind::Exception) {
      // A drive that refuses the read is a drive at this setting all the same.
      FoundDrive drive{address_, trial, {}, "refuses the status read: " + why, echoed_};
      drive.status.address = address_;
      emit DriveFound(drive);
    } else {
      const QString shown =
          dropped_ == 0 ? Shown(heard_, trial)
                        : Shown(heard_, trial) + QString::fromStdString(ReceiveLimit::CutNote(dropped_));
      emit SuspectAnswer({address_, trial, why, shown});
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
  askedAgain_ = false;
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

void DriveDiscovery::Finish(DiscoveryEnd end, const QString &message) {
  listen_.stop();
  running_ = false;
  elapsedMs_ = clock_.elapsed();
  comm_->ClosePort();
  emit Finished(end, message);
}
