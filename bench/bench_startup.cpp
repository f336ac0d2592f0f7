// Start-up: from the start of the process to the main window shown with its
// tables loaded (the first activation has run), the resident memory then,
// and the CPU the idle window costs per second with its send timer ticking.
#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "base/AppPaths.h"
#include "settings/DataFolder.h"

#include "bench/ProcessFigures.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {
// Milliseconds since the kernel started this process.
double MsSinceProcessStart() {
  QFile stat("/proc/self/stat");
  if (!stat.open(QIODevice::ReadOnly))
    return 0;
  const QByteArray text = stat.readAll();
  // the fields after the command name, which is in parentheses
  const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
  const double startTicks = fields.value(19).toDouble(); // field 22: starttime
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
  return nowMs - startTicks * 1000.0 / sysconf(_SC_CLK_TCK);
}

} // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  QTemporaryDir folder;
  AppPaths::SetProgramFolder(folder.path());
  Dialogs::SetHandler([](const Dialogs::Request &) { return Dialogs::Answer{true, QString()}; });
  // as the program starts: the data folder checked, the windows created, the
  // main window shown; its first activation loads the tables
  if (!EnsureDataFolder(AppPaths::DataFolder()).isEmpty())
    return 1;
  CreateApplicationWindows();
  Form1->show();
  Form1->activateWindow();
  QElapsedTimer waited;
  waited.start();
  while (!Form1->Activated && waited.elapsed() < 60000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  if (!Form1->Activated)
    return 1;
  const double startMs = MsSinceProcessStart();
  std::printf("startup: first window shown with tables loaded: %.1f ms\n", startMs);
  std::printf("startup: resident memory after start: %.1f MB\n", ResidentMb());

  constexpr int idleSeconds = 3;
  const double cpu = CpuSeconds();
  QEventLoop idle;
  QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
  idle.exec();
  std::printf("startup: idle window, CPU per second: %.2f ms\n", (CpuSeconds() - cpu) / idleSeconds * 1000);
  DestroyApplicationWindows();
  return 0;
}
