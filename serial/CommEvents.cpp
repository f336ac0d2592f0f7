#include "serial/CommEvents.h"

#include <QCoreApplication>

TCommEvent::TCommEvent(TCommMessage message, std::uint32_t value, QByteArray block)
    : QEvent(EventType()), Message(message), Value(value), Block(std::move(block)) {}

QEvent::Type TCommEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void PostCommEvent(QObject *notifier, TCommMessage message, std::uint32_t value, QByteArray block) {
  QCoreApplication::postEvent(notifier, new TCommEvent(message, value, std::move(block)));
}
