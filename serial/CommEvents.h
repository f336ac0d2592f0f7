#pragma once

#include <QByteArray>
#include <QEvent>

#include <cstdint>

class QObject;

// The notifications that the port threads post to the component's notifier
// object. They are dispatched on the thread that created the component, in
// the order in which they were posted.
enum TCommMessage : std::uint32_t {
  MsgReceiveData = 1025,      // Block: the received bytes
  MsgReceiveError = 1026,     // Value: the driver's error flags (CommError...)
  MsgRequestHangup = 1027,    // a port thread ended on an error it cannot recover from
  MsgModemStateChange = 1028, // Value: ModemEvent... bits
  MsgSendDataEmpty = 1029,    // every queued block has been written
};

// Error flags carried by MsgReceiveError.
constexpr std::uint32_t CommErrorBufferOverrun = 0x0001; // the driver's input buffer overflowed
constexpr std::uint32_t CommErrorOverrun = 0x0002;       // the UART lost a character
constexpr std::uint32_t CommErrorParity = 0x0004;
constexpr std::uint32_t CommErrorFrame = 0x0008;
constexpr std::uint32_t CommErrorBreak = 0x0010;

// Modem event bits carried by MsgModemStateChange.
constexpr std::uint32_t ModemEventRing = 4;
constexpr std::uint32_t ModemEventCarrier = 8;

// One posted notification. The event owns its block; Qt deletes the event
// after it has been delivered (or when its receiver is destroyed first), which
// releases the block whether or not anyone handled it.
class TCommEvent : public QEvent {
public:
  TCommEvent(TCommMessage message, std::uint32_t value = 0, QByteArray block = {});
  static QEvent::Type EventType();

  TCommMessage Message;
  std::uint32_t Value;
  QByteArray Block;
};

// Posts a notification to `notifier`; safe from any thread, never waits.
void PostCommEvent(QObject *notifier, TCommMessage message, std::uint32_t value = 0, QByteArray block = {});
