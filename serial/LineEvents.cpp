#include "serial/LineEvents.h"

#include "serial/CommEvents.h"

TLineEvents LineEventsBetween(const TLineCounters &before, const TLineCounters &after) {
  TLineEvents events;
  if (after.BufferOverrun != before.BufferOverrun)
    events.Errors |= CommErrorBufferOverrun;
  if (after.Overrun != before.Overrun)
    events.Errors |= CommErrorOverrun;
  if (after.Parity != before.Parity)
    events.Errors |= CommErrorParity;
  if (after.Frame != before.Frame)
    events.Errors |= CommErrorFrame;
  if (after.Break != before.Break)
    events.Errors |= CommErrorBreak;
  if (after.Carrier != before.Carrier)
    events.ModemEvents |= ModemEventCarrier;
  if (after.Ring != before.Ring)
    events.ModemEvents |= ModemEventRing;
  return events;
}
