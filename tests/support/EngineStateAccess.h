#pragma once

#include "exchange/ExchangeEngine.h"

// The engine's state as its own tests set it up: a reply awaited, counters
// given, a request queued in the middle of a tick. The program changes it
// only through the engine's methods.
class EngineStateAccess {
public:
  static CommState &Of(TExchangeEngine &engine) { return engine.state_; }
};
