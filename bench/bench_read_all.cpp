// Time of a whole "Read all" of the delivered RM40 table against the drive
// simulator at 38400 baud (tick 20 ms), next to the time the tick arithmetic
// allows for the same requests: a request goes out on one tick, its reply is
// taken on the tick where (ticks waited - 1) x tick exceeds the reply window,
// and the next step runs on the tick after. A "Reserved" record costs one
// tick. Usage: bench_read_all [reply window in ms, default 40] [late ms]
// With a lateness the drive answers every request that much late, read all
// goes on after failed records, and the run reports how many stored values
// are not the drive's value of that parameter.
#include "SimulatedProgram.h"

#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "params/DecimalScaling.h"
#include "params/ParameterCodes.h"
#include "params/Rm40Parameters.h"
#include "protocol/HexText.h"
#include "session/FunctionTable.h"
#include "settings/DataFolder.h"
#include "settings/TableStore.h"
#include "sim/DriveSimulator.h"
#include "support/FastLine.h"

#include <QCheckBox>
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
  const int lateMs = argc > 2 ? std::atoi(argv[2]) : 0;

  QTemporaryDir folder;
  SimOptions options;
  options.baud = 38400;
  options.faults.lateMs = lateMs;
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
  Form1->CheckBox2->setChecked(lateMs > 0);
  // Every parameter gets a value of its own, so a value stored into the
  // wrong record shows.
  int seeded = 0;
  for (const Rm40Parameter &p : Rm40Parameters())
    if (p.name && std::strcmp(p.name, "Reserved") != 0)
      sim.SetParameter(1,
                       static_cast<std::uint16_t>(
                           std::stoi(ParameterRegister(std::string(p.code).substr(1)), nullptr, 16)),
                       static_cast<std::uint16_t>(1 + seeded++ * 37 % 3000));

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
  while (Form1->State.ReadAllActive || Form1->State.WaitingReply || Form1->State.ReadPending)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  const double measuredMs = double(clock.elapsed());

  std::printf("read all: %d requests, %d reserved records, tick %d ms, reply window %d ms\n", requests,
              reserved, tick, replyWindowMs);
  std::printf("measured %.0f ms, ideal %.0f ms, ratio %.3f\n", measuredMs, idealMs, measuredMs / idealMs);
  // The same run seen as ticks: the mean time between ticks it took.
  std::printf("mean tick %.1f ms (nominal %d ms)\n", measuredMs / (idealMs / tick), tick);
  std::printf("requests seen by the drive: %zu; messages: %s\n", sim.ReceivedFrames().size(),
              qPrintable(messages.join(" | ")));
  // Stored values against the drive's own values.
  int stored = 0, wrong = 0;
  for (int record = 0; record < Form1->Functions->RecordCount(); ++record) {
    Form1->Functions->MoveTo(record);
    const QString now = Form1->Functions->Text("NOWDATA");
    if (now.isEmpty())
      continue;
    ++stored;
    const std::string code = Form1->Functions->ShortCode().toStdString();
    const auto raw =
        sim.Parameter(1, static_cast<std::uint16_t>(std::stoi(ParameterRegister(code), nullptr, 16)));
    const std::string expected =
        raw ? DecimalScaling::FormatRegisterValue(*raw, DecimalPlaces(code), LocaleDecimalSeparator) : "";
    wrong += now.toStdString() != expected;
  }
  std::printf("late %d ms: stored values %d, of them another parameter's %d; late replies logged %lld, "
              "accepted replies %lld\n",
              lateMs, stored, wrong, Form1->State.LateReplies, Form1->State.AcceptedReplies);
  DestroyApplicationWindows();
  return 0;
}
