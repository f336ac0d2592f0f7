// Measures the send scheduler against the in-process drive simulator: the
// time per completed request next to what the tick arithmetic allows, and
// the program's CPU use while idle and while cycling requests.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"
#include "sim/DriveSimulator.h"

#include "bench/ProcessFigures.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <vector>

namespace {
// Runs the event loop for a while, sleeping between events.
void RunFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Sends at tick 0; the wait handler runs at the first tick k after it with
// (k - 1) x tick > time-out; the next request goes out at tick k + 1.
int IdealMs(int tickMs, int timeoutMs) { return (timeoutMs / tickMs + 3) * tickMs; }
} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  QTemporaryDir folder;
  AppPaths::SetProgramFolder(folder.path());
  QDir().mkpath(AppPaths::DataFolder() + "ports");

  DriveSimulator sim(SimOptions{});
  if (!sim.Start()) {
    std::fprintf(stderr, "simulator: %s\n", sim.Error().c_str());
    return 1;
  }
  QFile::link(QString::fromStdString(sim.SlavePath()), AppPaths::DataFolder() + "ports/COM2");

  CreateApplicationWindows();
  if (!ProtocolSet)
    ProtocolSet = new TProtocolSet;
  TForm1 &form = *Form1;
  ProtocolSet->ComPort->setCurrentText("COM2");
  ProtocolSet->ModbusMode->setCurrentIndex(0);

  // Idle: the timer ticks at its fastest, nothing is due.
  ProtocolSet->UserBaud->setCurrentIndex(5);
  form.ApplyPortSettings();
  if (!form.Comm1->PortOpen()) {
    std::fprintf(stderr, "port: %s\n", qPrintable(form.Comm1->PortOpenError()));
    return 1;
  }
  RunFor(500);
  double cpu = CpuSeconds();
  RunFor(3000);
  std::printf("idle, 20 ms ticks: CPU %.2f ms per second\n", (CpuSeconds() - cpu) / 3.0 * 1000);

  // Cycling: a new user's command as soon as the last exchange is over.
  // The hook runs after the tick, so the next request goes out at the next tick.
  QElapsedTimer clock;
  std::vector<qint64> completions;
  int ticks = 0;
  bool cycling = false;
  QObject::connect(form.UpcSend, &QTimer::timeout, &form, [&] {
    ++ticks;
    const CommState &s = form.State;
    if (!cycling || s.WaitingReply || s.UserCmdPending || !s.ReceiveBuffer.empty())
      return;
    if (s.TotalRecords > 0)
      completions.push_back(clock.elapsed());
    form.Engine->QueueUserCommand("010310000001");
  });

  std::printf("%-6s %-8s %-9s %-12s %-9s %-7s %-13s %-11s %s\n", "tick", "timeout", "requests", "measured ms",
              "ideal ms", "ratio", "mean tick ms", "tick ratio", "CPU ms/s");
  for (const int baudIndex : {5, 3}) {
    for (const int timeoutMs : {50, 500}) {
      ProtocolSet->UserBaud->setCurrentIndex(baudIndex);
      form.ApplyPortSettings();
      form.TimeoutMs = timeoutMs;
      form.clear1Click();
      completions.clear();
      ticks = 0;
      clock.start();
      const double cpu0 = CpuSeconds();
      cycling = true;
      RunFor(6000);
      cycling = false;
      const double cpuPerSecond = (CpuSeconds() - cpu0) / (clock.elapsed() / 1000.0) * 1000;
      const double meanTick = static_cast<double>(clock.elapsed()) / ticks;
      RunFor(timeoutMs + 4 * form.State.TickMs); // let the last exchange end
      // from the first completion to the last, so start-up does not count
      const int done = static_cast<int>(completions.size()) - 1;
      const double measured = done > 0 ? double(completions.back() - completions.front()) / done : 0;
      const int ideal = IdealMs(form.State.TickMs, timeoutMs);
      std::printf("%-6d %-8d %-9d %-12.1f %-9d %-7.3f %-13.2f %-11.3f %-8.2f (errors %d, time-outs %d)\n",
                  form.State.TickMs, timeoutMs, done, measured, ideal, ideal / measured, meanTick,
                  ideal / (measured / meanTick * form.State.TickMs), cpuPerSecond, form.State.ErrorRecords,
                  form.State.TimeoutRecords);
    }
  }
  form.UpcSend->stop();
  form.Comm1->ClosePort();
  return 0;
}
