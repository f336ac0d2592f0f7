#pragma once

// Header only: the read-all benchmark uses it too, without the test library.
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"

#include <QComboBox>

// The simulator's line at 38400 baud (tick 20 ms) with a short reply
// window, chosen in the protocol window as the user would.
inline void UseFastLine(int replyWindowMs) {
  ProtocolSet->ComPort->setCurrentText("COM2");
  ProtocolSet->ModbusMode->setCurrentText("ASCII");
  ProtocolSet->UserBaud->setCurrentText("38400");
  Form1->TimeoutMs = replyWindowMs;
  Form1->ApplyPortSettings();
}
