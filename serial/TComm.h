#pragma once

#include "serial/AcquiredPort.h"
#include "serial/InputGathering.h"
#include "serial/LineSettings.h"
#include "serial/LowLatency.h"

#include <QObject>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

class TCloseEvent;
class TCommEvent;
class TReadThread;
class TSocketReader;
class TWriteThread;

// Raised by OpenPort when the driver refuses the port's queues.
class ECommsError : public std::runtime_error {
public:
  using runtime_error::runtime_error;
};

// The serial port component. It owns one serial device, a reader and a writer
// thread that do all the waiting on it, and a hidden notifier object that
// lives on the creating thread and turns what the threads post into the On...
// events, in posting order. Properties, OpenPort, ClosePort and WriteData are
// for the creating thread only.
//
// Opening failures are reported as text in PortOpenError, never raised, with
// the one exception of ECommsError "Cannot setup comm buffer"; PortOpenReason
// says in the system's words why.
//
// A CommName of the form "tcp:HOST:PORT" connects to a transparent serial
// server instead of opening a device. The socket is read on the creating
// thread (a socket notifier: no thread wakes another for a reply) and written
// by the same writer thread; it gives the same events, its received bytes
// handled as soon as they are read. A connection the server drops ends with
// OnRequestHangup, as an unplugged adapter does.
//
// No Q_OBJECT: the component has no signals or slots of its own, and without
// meta-object code it links without the rest of the program.
class TComm : public QObject {
public:
  explicit TComm(QObject *parent = nullptr);
  ~TComm() override;

  void OpenPort();
  // OpenPort with a descriptor acquired beforehand, perhaps on another thread
  // (TAcquiredPort::Acquire with CommName); a failed one leaves its reason in
  // PortOpenError and PortOpenReason.
  void OpenPort(TAcquiredPort port);
  void ClosePort();
  // Hands a copy of the bytes to the writer thread without waiting for the
  // line. False when the port is closed, the writer has ended, or count is 0.
  bool WriteData(const void *data, std::uint16_t count);

  bool PortOpen() const;
  void SetPortOpen(bool open);
  std::uint8_t CommPort() const { return commPort_; }
  void SetCommPort(std::uint8_t port);
  QString PortOpenError() const { return portOpenError_; }
  // Why the last OpenPort failed, as the system tells it ("No such device",
  // "in use by another program", "Connection refused", ...); empty when it
  // did not fail or the system gave no reason. Cleared with PortOpenError.
  QString PortOpenReason() const { return portOpenReason_; }
  QString CommName() const { return commName_; }
  void SetCommName(const QString &name) { commName_ = name; }
  QString Output() const { return output_; }
  void SetOutput(const QString &text);

  // Read size and receive buffer of the reader; both act at the next OpenPort.
  std::uint16_t InputLen() const { return inputLen_; }
  void SetInputLen(std::uint16_t length);
  std::uint16_t InBufferSize() const { return inBufferSize_; }
  void SetInBufferSize(std::uint16_t size);

  // Bundling of received bytes, at once also on an open port. Off (as
  // delivered), every read's bytes are their own OnReceiveData. On, bytes
  // that follow each other closely come as one block: it ends when what
  // ExpectInput names has arrived, when the line has been quiet for 3.5
  // characters at the baud rate, or after 50 ms at the latest.
  bool GatherInput() const { return gatherInput_; }
  void SetGatherInput(bool on);
  // What completes the input awaited next: Count bytes, or a byte equal to
  // EndByte, or ShortCount bytes when the byte at FlagAt has one of FlagBits
  // set; LeastCount, when known, spares waking before the shortest form can
  // be in. Counts from the last block handed over; used only while
  // GatherInput is on.
  void ExpectInput(const TAwaitedInput &awaited);

  // False for a TCP serial server (the open port's, or else CommName's): its
  // line runs with the settings made on the server, and the line settings and
  // RS-485 mode here are kept but reach no device.
  bool LineSettingsApply() const;
  // How long OpenPort may wait for a TCP serial server, name look-up
  // included; acts at the next OpenPort.
  int TcpConnectTimeout() const { return tcpConnectTimeout_; }
  void SetTcpConnectTimeout(int ms) { tcpConnectTimeout_ = std::max(ms, 1); }

  // The kernel's RS-485 direction control: the driver raises RTS while it
  // sends and drops it when the last bit is out, for adapters that switch
  // their transceiver by RTS. Applied at OpenPort and at once to an open
  // port. A port whose driver has no such mode still opens; Rs485Error then
  // says why the mode is off.
  bool Rs485() const { return rs485_; }
  void SetRs485(bool on);
  bool Rs485Active() const { return rs485Enabled_; }
  QString Rs485Error() const { return rs485Error_; }
  // Whether the driver hands received bytes over at once (asked at each
  // opening), in words; empty while no serial device is open.
  QString LowLatencyText() const;

  // Line settings: a changed value is applied to an open port at once.
  std::uint32_t BaudRate() const { return line_.BaudRate; }
  // Bits of one character on this line: start bit, data bits, parity bit,
  // stop bits.
  double CharacterBits() const;
  void SetBaudRate(std::uint32_t value) { SetLine(&TLineSettings::BaudRate, value); }
  bool ParityCheck() const { return line_.ParityCheck; }
  void SetParityCheck(bool value) { SetLine(&TLineSettings::ParityCheck, value); }
  bool Outx_CtsFlow() const { return line_.Outx_CtsFlow; }
  void SetOutx_CtsFlow(bool value) { SetLine(&TLineSettings::Outx_CtsFlow, value); }
  bool Outx_DsrFlow() const { return line_.Outx_DsrFlow; }
  void SetOutx_DsrFlow(bool value) { SetLine(&TLineSettings::Outx_DsrFlow, value); }
  TDtrControl DtrControl() const { return line_.DtrControl; }
  void SetDtrControl(TDtrControl value) { SetLine(&TLineSettings::DtrControl, value); }
  bool DsrSensitivity() const { return line_.DsrSensitivity; }
  void SetDsrSensitivity(bool value) { SetLine(&TLineSettings::DsrSensitivity, value); }
  bool TxContinueOnXoff() const { return line_.TxContinueOnXoff; }
  void SetTxContinueOnXoff(bool value) { SetLine(&TLineSettings::TxContinueOnXoff, value); }
  bool Outx_XonXoffFlow() const { return line_.Outx_XonXoffFlow; }
  void SetOutx_XonXoffFlow(bool value) { SetLine(&TLineSettings::Outx_XonXoffFlow, value); }
  bool Inx_XonXoffFlow() const { return line_.Inx_XonXoffFlow; }
  void SetInx_XonXoffFlow(bool value) { SetLine(&TLineSettings::Inx_XonXoffFlow, value); }
  bool ReplaceWhenParityError() const { return line_.ReplaceWhenParityError; }
  void SetReplaceWhenParityError(bool value) { SetLine(&TLineSettings::ReplaceWhenParityError, value); }
  bool IgnoreNullChar() const { return line_.IgnoreNullChar; }
  void SetIgnoreNullChar(bool value) { SetLine(&TLineSettings::IgnoreNullChar, value); }
  TRtsControl RtsControl() const { return line_.RtsControl; }
  void SetRtsControl(TRtsControl value) { SetLine(&TLineSettings::RtsControl, value); }
  std::uint16_t XonLimit() const { return line_.XonLimit; }
  void SetXonLimit(std::uint16_t value) { SetLine(&TLineSettings::XonLimit, value); }
  std::uint16_t XoffLimit() const { return line_.XoffLimit; }
  void SetXoffLimit(std::uint16_t value) { SetLine(&TLineSettings::XoffLimit, value); }
  TByteSize ByteSize() const { return line_.ByteSize; }
  void SetByteSize(TByteSize value) { SetLine(&TLineSettings::ByteSize, value); }
  TParity Parity() const { return line_.Parity; }
  void SetParity(TParity value) { SetLine(&TLineSettings::Parity, value); }
  TStopBits StopBits() const { return line_.StopBits; }
  void SetStopBits(TStopBits value) { SetLine(&TLineSettings::StopBits, value); }
  char XonChar() const { return line_.XonChar; }
  void SetXonChar(char value) { SetLine(&TLineSettings::XonChar, value); }
  char XoffChar() const { return line_.XoffChar; }
  void SetXoffChar(char value) { SetLine(&TLineSettings::XoffChar, value); }
  char ReplacedChar() const { return line_.ReplacedChar; }
  void SetReplacedChar(char value) { SetLine(&TLineSettings::ReplacedChar, value); }

  // Time-outs in ms: a changed value is applied to an open port at once.
  std::uint32_t ReadIntervalTimeout() const { return timeouts_.ReadInterval; }
  void SetReadIntervalTimeout(std::uint32_t value) { SetTimeout(&TTimeouts::ReadInterval, value); }
  std::uint32_t ReadTotalTimeoutMultiplier() const { return timeouts_.ReadTotalMultiplier; }
  void SetReadTotalTimeoutMultiplier(std::uint32_t value) {
    SetTimeout(&TTimeouts::ReadTotalMultiplier, value);
  }
  std::uint32_t ReadTotalTimeoutConstant() const { return timeouts_.ReadTotalConstant; }
  void SetReadTotalTimeoutConstant(std::uint32_t value) { SetTimeout(&TTimeouts::ReadTotalConstant, value); }
  std::uint32_t WriteTotalTimeoutMultiplier() const { return timeouts_.WriteTotalMultiplier; }
  void SetWriteTotalTimeoutMultiplier(std::uint32_t value) {
    SetTimeout(&TTimeouts::WriteTotalMultiplier, value);
  }
  std::uint32_t WriteTotalTimeoutConstant() const { return timeouts_.WriteTotalConstant; }
  void SetWriteTotalTimeoutConstant(std::uint32_t value) {
    SetTimeout(&TTimeouts::WriteTotalConstant, value);
  }

  // Raised on the creating thread. The buffer holds `length` bytes followed by
  // a zero byte and is valid only during the call.
  std::function<void(TComm *sender, const char *buffer, std::uint16_t length)> OnReceiveData;
  std::function<void(TComm *sender, std::uint32_t eventMask)> OnReceiveError;
  std::function<void(TComm *sender, std::uint32_t modemEvent)> OnModemStateChange;
  std::function<void(TComm *sender)> OnRequestHangup;
  // Only when a handler is attached at OpenPort: writing then costs no
  // wake-up of this thread where nobody listens.
  std::function<void(TComm *sender)> OnSendDataEmpty;

  // Applies the line settings, or the time-outs, to the open port. A refusal
  // by the driver is not reported.
  void ApplyLineSettings();
  void ApplyTimeouts();

private:
  friend class TCommNotifier;

  struct TTimeouts {
    std::uint32_t ReadInterval = 100;
    std::uint32_t ReadTotalMultiplier = 0;
    std::uint32_t ReadTotalConstant = 0;
    std::uint32_t WriteTotalMultiplier = 0;
    std::uint32_t WriteTotalConstant = 0;
  };

  template <typename T> void SetLine(T TLineSettings::*field, T value) {
    if (line_.*field == value)
      return;
    line_.*field = value;
    UpdateGatherGap();
    if (PortOpen())
      ApplyLineSettings();
  }
  template <typename T> void SetTimeout(T TTimeouts::*field, T value) {
    if (timeouts_.*field == value)
      return;
    timeouts_.*field = value;
    if (PortOpen())
      ApplyTimeouts();
  }

  void Dispatch(const TCommEvent &event);
  void UpdateGatherGap();
  void ApplyRs485(bool wanted);
  bool StartReadThread();
  bool StartSocketReader();
  void StopThreads();
  void CloseDevice();

  std::uint8_t commPort_ = 1;
  QString commName_ = QStringLiteral("COM1");
  QString portOpenError_;
  QString portOpenReason_;
  QString output_;
  std::uint16_t inputLen_ = 1;
  std::uint16_t inBufferSize_ = 2048;
  bool gatherInput_ = false;
  TInputGathering gathering_;
  TLineSettings line_;
  TTimeouts timeouts_;

  int tcpConnectTimeout_ = 2000;
  bool rs485_ = false;

  int portHandle_ = -1;
  bool overTcp_ = false; // the open port is a TCP serial server's socket
  LowLatency lowLatency_ = LowLatency::NotAsked;
  bool rs485Enabled_ = false;
  QString rs485Error_;
  std::unique_ptr<TCloseEvent> closeEvent_;
  std::unique_ptr<TReadThread> readThread_;
  TSocketReader *socketReader_ = nullptr; // in place of the reader thread on a socket; a child
  std::unique_ptr<TWriteThread> writeThread_;
  QObject *notifyWindow_ = nullptr;
};
