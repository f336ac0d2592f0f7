// Connects the communication engine: the send timer, the serial port's
// received data and the history pane's pop-up menu.
#include "app/MainWindow.h"

#include "serial/TComm.h"

#include <QAction>
#include <QTimer>

void TForm1::WireCommunication() {
  // ticks keep their length: reply windows and scan periods count them
  UpcSend->setTimerType(Qt::PreciseTimer);
  connect(UpcSend, &QTimer::timeout, this, [this] { UpcSendTimer(); });
  UpcSend->start(State.TickMs);
  Comm1->OnReceiveData = [this](TComm *, const char *buffer, std::uint16_t length) {
    emit BytesArrived();
    Comm1ReceiveData(buffer, length);
  };
  FollowNewestHistoryLine(SendRevHistory);
  connect(Selectall1, &QAction::triggered, this, [this] { Selectall1Click(); });
  connect(clear1, &QAction::triggered, this, [this] { clear1Click(); });
  connect(copy1, &QAction::triggered, this, [this] { copy1Click(); });
}
