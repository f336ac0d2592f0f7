#include "serial/TComm.h"

#include "serial/AcquiredPort.h"
#include "serial/CloseEvent.h"
#include "serial/CommEvents.h"
#include "serial/ReadThread.h"
#include "serial/SocketReader.h"
#include "serial/TcpSerialServer.h"
#include "serial/WriteThread.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
const char kAlreadyOpen[] = "This serial port already opened";
const char kNoEvent[] = "Unable to create event";
const char kNoReadThread[] = "Unable to create read thread";
const char kNoWriteThread[] = "Unable to create write thread";
const char kNoRs485[] = "RS-485 direction control not supported: ";

// WriteData takes at most this many bytes at a time.
constexpr qsizetype kLargestWrite = 0xFFFF;

void SetModemLine(int fd, int line, bool on) { ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line); }
} // namespace

// The hidden object on the creating thread to which the port threads post.
class TCommNotifier : public QObject {
public:
  explicit TCommNotifier(TComm *comm) : QObject(comm), comm_(comm) {}

  bool event(QEvent *event) override {
    if (event->type() != TCommEvent::EventType())
      return QObject::event(event);
    comm_->Dispatch(*static_cast<TCommEvent *>(event));
    return true;
  }

private:
  TComm *comm_;
};

TComm::TComm(QObject *parent) : QObject(parent), notifyWindow_(new TCommNotifier(this)) {
  // Register the event type here, on the creating thread, before any port
  // thread posts one.
  TCommEvent::EventType();
}

// Unlike a port left to the end of the process, a component destroyed early
// must not leave threads posting to a notifier that no longer exists.
TComm::~TComm() { ClosePort(); }

bool TComm::PortOpen() const { return portHandle_ >= 0; }

void TComm::SetPortOpen(bool open) {
  if (open)
    OpenPort();
  else
    ClosePort();
}

void TComm::SetCommPort(std::uint8_t port) {
  if (port == 0 || port == commPort_)
    return;
  commPort_ = port;
  commName_ = QStringLiteral("COM%1").arg(port);
}

void TComm::SetOutput(const QString &text) {
  output_ = text;
  const QByteArray bytes = text.toLatin1();
  for (qsizetype start = 0; start < bytes.size(); start += kLargestWrite) {
    const qsizetype count = std::min(kLargestWrite, bytes.size() - start);
    WriteData(bytes.constData() + start, static_cast<std::uint16_t>(count));
  }
}

void TComm::SetInputLen(std::uint16_t length) {
  if (length == 0)
    inputLen_ = inBufferSize_;
  else if (length <= inBufferSize_)
    inputLen_ = length;
}

void TComm::SetInBufferSize(std::uint16_t size) {
  inBufferSize_ = std::max<std::uint16_t>(size, 1);
  // A read must always fit the buffer it reads into.
  inputLen_ = std::min(inputLen_, inBufferSize_);
}

void TComm::SetGatherInput(bool on) {
  gatherInput_ = on;
  UpdateGatherGap();
}

void TComm::ExpectInput(const TAwaitedInput &awaited) {
  gathering_.Count = awaited.Count;
  gathering_.EndByte = awaited.EndByte;
  gathering_.ShortForm = awaited.ShortCount == 0 ? 0u
                                                 : awaited.ShortCount | awaited.FlagAt << 8 |
                                                       static_cast<std::uint32_t>(awaited.FlagBits) << 16;
  gathering_.Least = awaited.LeastCount;
}

void TComm::UpdateGatherGap() {
  // 3.5 characters of 11 bits, no less than 1.5 ms: a loaded machine hands
  // over bytes less evenly than the line delivers them.
  constexpr double kGapBits = 3.5 * 11;
  const std::uint32_t baud = std::max<std::uint32_t>(line_.BaudRate, 1);
  const auto gapUs = static_cast<std::uint32_t>(kGapBits * 1'000'000 / baud);
  gathering_.GapUs = gatherInput_ ? std::clamp<std::uint32_t>(gapUs, 1500, TInputGathering::HoldLimitUs) : 0;
  // No byte comes sooner than a character's time; one that comes later
  // costs an extra read.
  gathering_.CharUs = static_cast<std::uint32_t>(CharacterBits() * 1'000'000 / baud);
}

double TComm::CharacterBits() const {
  return 1 + 5 + static_cast<int>(line_.ByteSize) + (line_.Parity == TParity::None ? 0 : 1) +
         (line_.StopBits == TStopBits::_1     ? 1
          : line_.StopBits == TStopBits::_1_5 ? 1.5
                                              : 2);
}

void TComm::OpenPort() {
  // Nothing is acquired for a port already open (which the other OpenPort
  // refuses): our own lock on the device would read as another program
  // holding it.
  OpenPort(PortOpen() ? TAcquiredPort() : TAcquiredPort::Acquire(commName_, tcpConnectTimeout_));
}

void TComm::OpenPort(TAcquiredPort port) {
  portOpenError_.clear();
  portOpenReason_.clear();
  if (PortOpen()) {
    portOpenError_ = kAlreadyOpen;
    return;
  }
  if (!port.IsValid()) {
    portOpenError_ = port.Error();
    portOpenReason_ = port.Reason();
    return;
  }

  // The terminal driver's queues have fixed sizes, so there is nothing to
  // size here and no "Cannot setup comm buffer" (ECommsError) to raise.

  overTcp_ = port.OverTcp();
  const int fd = port.Release();
  portHandle_ = fd;
  lowLatency_ = overTcp_ ? LowLatency::NotAsked : RequestLowLatency(fd);
  if (!overTcp_)
    tcflush(fd, TCIOFLUSH);
  ApplyTimeouts();
  ApplyLineSettings();

  closeEvent_ = std::make_unique<TCloseEvent>();
  if (!closeEvent_->IsValid()) {
    closeEvent_.reset();
    CloseDevice();
    portOpenError_ = kNoEvent;
    return;
  }

  if (!(overTcp_ ? StartSocketReader() : StartReadThread())) {
    closeEvent_.reset();
    CloseDevice();
    portOpenError_ = kNoReadThread;
    return;
  }
  writeThread_ =
      std::make_unique<TWriteThread>(fd, *closeEvent_, notifyWindow_, static_cast<bool>(OnSendDataEmpty));
  if (!writeThread_->Start()) {
    writeThread_.reset();
    StopThreads();
    CloseDevice();
    portOpenError_ = kNoWriteThread;
    return;
  }
}

bool TComm::StartReadThread() {
  readThread_ = std::make_unique<TReadThread>(portHandle_, *closeEvent_, notifyWindow_, inputLen_,
                                              inBufferSize_, gathering_);
  if (readThread_->Start())
    return true;
  readThread_.reset();
  return false;
}

bool TComm::StartSocketReader() {
  // A reply handed over here is handled at once, as a posted one would be.
  auto handOver = [this](const QByteArray &block) {
    if (auto handler = OnReceiveData)
      handler(this, block.constData(), static_cast<std::uint16_t>(block.size()));
  };
  // A hang-up is posted like the threads' own: the handler closes the port,
  // which it must not do under the reader's feet.
  auto hangUp = [this] { PostCommEvent(notifyWindow_, MsgRequestHangup); };
  socketReader_ = new TSocketReader(portHandle_, gathering_, inputLen_, this);
  if (socketReader_->Start(inBufferSize_, handOver, hangUp))
    return true;
  std::exchange(socketReader_, nullptr)->Retire();
  return false;
}

QString TComm::LowLatencyText() const { return PortOpen() ? LowLatencyWords(lowLatency_) : QString(); }

void TComm::ClosePort() {
  portOpenError_.clear();
  portOpenReason_.clear();
  if (!PortOpen())
    return;
  StopThreads();
  CloseDevice();
  // What the threads posted and nobody has handled yet belongs to the line
  // just closed: its bytes go with the rest of its buffers, and a hang-up
  // handled after the port was opened again would be taken for the new
  // line's.
  QCoreApplication::removePostedEvents(notifyWindow_, TCommEvent::EventType());
}

void TComm::StopThreads() {
  // Both threads sleep in poll() with the close event in their wait set, so
  // they end promptly once it is set; waiting for them is never open-ended.
  closeEvent_->Set();
  tcflush(portHandle_, TCIFLUSH);
  readThread_.reset();
  if (socketReader_)
    std::exchange(socketReader_, nullptr)->Retire();
  tcflush(portHandle_, TCOFLUSH);
  writeThread_.reset();
  closeEvent_.reset();
}

void TComm::CloseDevice() {
  if (!overTcp_) {
    // The next user of the port expects it as it was before us.
    ApplyRs485(false);
    ioctl(portHandle_, TIOCNXCL);
  }
  rs485Enabled_ = false;
  rs485Error_.clear();
  close(portHandle_);
  portHandle_ = -1;
  overTcp_ = false;
}

bool TComm::LineSettingsApply() const {
  return PortOpen() ? !overTcp_ : !TcpSerialServer::IsTcpName(commName_);
}

void TComm::SetRs485(bool on) {
  if (rs485_ == on)
    return;
  rs485_ = on;
  if (PortOpen())
    ApplyLineSettings();
}

bool TComm::WriteData(const void *data, std::uint16_t count) {
  if (!writeThread_ || count == 0 || data == nullptr)
    return false;
  return writeThread_->Queue(QByteArray(static_cast<const char *>(data), count));
}

void TComm::ApplyLineSettings() {
  if (!PortOpen() || overTcp_)
    return;
  termios tio{};
  if (tcgetattr(portHandle_, &tio) == 0) {
    ToTermios(line_, tio);
    tcsetattr(portHandle_, TCSANOW, &tio);
  }

  // RTS raised while sending: the driver's RS-485 mode does exactly that,
  // where the device offers it.
  const bool wantRs485 = rs485_ || line_.RtsControl == TRtsControl::RtsTransmissionAvailable;
  const TModemLines lines = ModemLinesFor(line_);
  SetModemLine(portHandle_, TIOCM_DTR, lines.Dtr);
  if (!lines.RtsByDriver && !wantRs485)
    SetModemLine(portHandle_, TIOCM_RTS, lines.Rts);
  ApplyRs485(wantRs485);
}

void TComm::ApplyRs485(bool wanted) {
  rs485Error_.clear();
  if (!wanted && !rs485Enabled_)
    return;
  // Drivers without the mode refuse both requests (a pseudo-terminal or a
  // plain USB adapter: "Inappropriate ioctl for device"); the port stays
  // usable and the reason is kept.
  serial_rs485 rs485{};
  if (ioctl(portHandle_, TIOCGRS485, &rs485) == 0) {
    if (wanted) {
      rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
      rs485.flags &= ~SER_RS485_RTS_AFTER_SEND;
    } else {
      rs485.flags &= ~SER_RS485_ENABLED;
    }
    // The driver hands back what it actually set.
    if (ioctl(portHandle_, TIOCSRS485, &rs485) == 0) {
      rs485Enabled_ = (rs485.flags & SER_RS485_ENABLED) != 0;
      if (wanted && !rs485Enabled_)
        rs485Error_ = QString(kNoRs485) + QString::fromLocal8Bit(std::strerror(EOPNOTSUPP));
      return;
    }
  }
  if (wanted)
    rs485Error_ = QString(kNoRs485) + QString::fromLocal8Bit(std::strerror(errno));
}

void TComm::ApplyTimeouts() {
  // The terminal driver has nothing that corresponds. The reader never blocks
  // inside read(): it sleeps in poll() and then takes what the driver holds,
  // up to InputLen bytes per read, so a read ends as soon as bytes are there,
  // which is what the program's time-outs (a short interval, no totals) ask
  // for. Writes are queued and never time out. The values stay in the
  // properties.
}

void TComm::Dispatch(const TCommEvent &event) {
  // Handlers are called through copies: a handler may reassign its own slot.
  switch (event.Message) {
  case MsgReceiveData:
    if (auto handler = OnReceiveData)
      handler(this, event.Block.constData(), static_cast<std::uint16_t>(event.Block.size()));
    break;
  case MsgReceiveError:
    if (auto handler = OnReceiveError)
      handler(this, event.Value);
    break;
  case MsgRequestHangup:
    if (auto handler = OnRequestHangup)
      handler(this);
    break;
  case MsgModemStateChange:
    if (auto handler = OnModemStateChange)
      handler(this, event.Value);
    break;
  case MsgSendDataEmpty:
    if (auto handler = OnSendDataEmpty)
      handler(this);
    break;
  }
}
