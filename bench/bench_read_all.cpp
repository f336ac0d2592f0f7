// Time of a whole "Read all" of the delivered RM40 table against the drive
// simulator at 38400 baud (tick 20 ms), next to the time the tick arithmetic
// allows for the same requests: a request goes out on one tick, its reply is
// taken on the tick where (ticks waited - 1) x tick exceeds the reply window,
// and the next step runs on the tick after. A "Reserved" record costs one
// tick. Usage: bench_read_all [reply window in ms, default 40]
#include "SimulatedProgram.h"

#include "app/AppPaths.h"
#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "params/FunctionTable.h"
#include "params/Rm40Parameters.h"
#include "settings/DataFolder.h"
#include "settings/TProtocolSet.h"
#include "settings/TableStore.h"
#include "sim/DriveSimulator.h"
#include "support/FastLine.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  const int replyWindowMs = argc > 1 ? std::atoi(argv[1]) : 40;

  QTemporaryDir folder;
  SimOptions options;
  options.baud = 38400;
  DriveSimulator sim(options);
  if (!PrepareSimulatedProgram(folder, sim))
    return 1;

  QStringList messages;
  Dialogs::SetHandler([&](const Dialogs::Request &request) {
    messages << request.text;
    return Dialogs::Answer{};
  });
  CreateApplicationWindows();
  Form1->show();
  Form1->FormActivate();
  UseFastLine(replyWindowMs);
  Form1->PageControl1->setCurrentIndex(1);

  int requests = 0, reserved = 0;
  for (const Rm40Parameter &p : Rm40Parameters())
    if (p.name)
      (std::strcmp(p.name, "Reserved") == 0 ? reserved : requests)++;
  const int tick = Form1->State.TickMs;
  const int ticksPerRequest = replyWindowMs / tick + 3;
  const double idealMs = double(requests) * ticksPerRequest * tick + double(reserved) * tick;

  QElapsedTimer clock;
  clock.start();
  Form1->ReadAll->click();
  while (Form1->State.ReadAllActive || Form1->State.WaitingReply || Form1->ReadPending)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  const double measuredMs = double(clock.elapsed());

  std::printf("read all: %d requests, %d reserved records, tick %d ms, reply window %d ms\n", requests,
              reserved, tick, replyWindowMs);
  std::printf("measured %.0f ms, ideal %.0f ms, ratio %.3f\n", measuredMs, idealMs, measuredMs / idealMs);
  // The same run seen as ticks: the mean time between ticks it took.
  std::printf("mean tick %.1f ms (nominal %d ms)\n", measuredMs / (idealMs / tick), tick);
  std::printf("requests seen by the drive: %zu; messages: %s\n", sim.ReceivedFrames().size(),
              qPrintable(messages.join(" | ")));
  DestroyApplicationWindows();
  return 0;
}
