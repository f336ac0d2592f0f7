#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/TerminationSignals.h"
#include "base/AppPaths.h"
#include "settings/DataFolder.h"

#include <cstdio>

namespace {
// Without a display the toolkit would abort with a long message; one line that
// says how to run the program is more use.
bool DisplayAvailable() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}
} // namespace

int main(int argc, char **argv) {
  if (!DisplayAvailable()) {
    std::fprintf(stderr,
                 "vossek-drive-desk: no display found (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are "
                 "unset); run it under a virtual display: xvfb-run -a bash scripts/run.sh\n");
    return 1;
  }
  TApplication app(argc, argv); // also sets the title "Vossek Drive Desk"
  const QString problem = EnsureDataFolder(AppPaths::DataFolder(), AppPaths::TemplateFolder());
  if (!problem.isEmpty())
    Dialogs::ShowError(problem);
  CreateApplicationWindows();
  EndOnTerminationSignals([] {
    Form1->EndWithoutAsking();
    QApplication::quit(); // also out of a box that was open
  });
  Form1->show();
  const int result = app.exec();
  DestroyApplicationWindows();
  return result;
}
