// What trying a lost port again costs the main thread. The port is a serial
// server on 127.0.0.1 that never answers (its queue of connections is full,
// so the system drops further ones unanswered): each attempt takes the whole
// connect time. Printed: how long one open holds the thread that makes it,
// and the longest stretch the main thread went without turning its event
// loop while the keeper made attempts, measured by a 10 ms timer.

#include "portwatch/PortKeeper.h"
#include "serial/TComm.h"
#include "support/LoopbackTcp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kConnectTimeoutMs = 500;
constexpr int kRunMs = 5000;
} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);

  // A listener whose one-place queue a first connection fills.
  sockaddr_in address{};
  const int listener = BoundLoopbackSocket(address);
  listen(listener, 0);
  const int filler = socket(AF_INET, SOCK_STREAM, 0);
  ::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address);

  TComm comm;
  comm.SetCommName(QStringLiteral("tcp:127.0.0.1:%1").arg(ntohs(address.sin_port)));
  comm.SetTcpConnectTimeout(kConnectTimeoutMs);

  QElapsedTimer clock;
  clock.start();
  comm.OpenPort(); // on this thread, as the settings' OK does
  const qint64 openMs = clock.elapsed();
  std::printf("open on the calling thread: %lld ms (%s)\n", static_cast<long long>(openMs),
              qPrintable(comm.PortOpenReason()));

  TPortKeeper keeper(&comm);
  keeper.Follow();

  qint64 longestGapMs = 0;
  QElapsedTimer sinceBeat;
  sinceBeat.start();
  QTimer beat;
  QObject::connect(&beat, &QTimer::timeout,
                   [&] { longestGapMs = std::max(longestGapMs, sinceBeat.restart()); });
  beat.start(10);
  QTimer::singleShot(kRunMs, &app, &QCoreApplication::quit);
  app.exec();
  const QString state = keeper.Describe();
  keeper.Forget();

  std::printf("attempts in the background for %d ms, each up to %d ms: main thread's longest gap %lld ms "
              "(%.2f of one open)\n",
              kRunMs, kConnectTimeoutMs, static_cast<long long>(longestGapMs),
              openMs > 0 ? double(longestGapMs) / double(openMs) : 0.0);
  std::printf("state: %s\n", qPrintable(state));
  close(filler);
  close(listener);
  return 0;
}
