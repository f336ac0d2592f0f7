#pragma once

// Header only, as the engine's own tests use it without the windows.
#include "exchange/ExchangeEngine.h"
#include "serial/TComm.h"
#include "sim/DriveSimulator.h"

// A bare exchange engine on a port open on the drive simulator's line, its
// received bytes handed to the engine, with a short tick and reply window.
struct EngineOnSimulator {
  TComm port;
  TExchangeEngine engine;

  // False when the port does not open.
  bool Open(DriveSimulator &sim, bool rtu, bool completeOnReply = false, std::uint32_t baud = 38400) {
    port.SetCommName(QString::fromStdString(sim.SlavePath()));
    port.SetByteSize(rtu ? TByteSize::_8 : TByteSize::_7);
    port.SetBaudRate(baud);
    engine.SetPort(&port);
    if (completeOnReply) // the port gathers replies from its opening on
      engine.SetCompleteOnReply(true);
    port.OpenPort();
    port.OnReceiveData = [this](TComm *, const char *buffer, std::uint16_t length) {
      engine.ReceiveData(buffer, length);
    };
    engine.SetTickMs(10);
    engine.TimeoutMs = 100;
    return port.PortOpen();
  }
};
