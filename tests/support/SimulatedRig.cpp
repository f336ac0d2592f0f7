#include "support/SimulatedRig.h"

#include "app/MainWindow.h"
#include "app/drive/TUmotorPara.h"
#include "app/settings/TProtocolSet.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"
#include "settings/DataFolder.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

// QVERIFY2 for functions that return whether all went well; the description
// is taken after the statement has run.
#define RIG_VERIFY(statement, description)                                                                   \
  do {                                                                                                       \
    const bool passed = static_cast<bool>(statement);                                                        \
    if (!QTest::qVerify(passed, #statement, passed ? "" : (description), __FILE__, __LINE__))                \
      return false;                                                                                          \
  } while (false)

bool SimulatedRig::UseProgramFolder() {
  RIG_VERIFY(folder.isValid(), "");
  AppPaths::SetProgramFolder(folder.path());
  return true;
}

bool SimulatedRig::CreateWindows() {
  if (!UseProgramFolder())
    return false;
  RIG_VERIFY(QDir().mkpath(AppPaths::DataFolder() + "ports"), "");
  CreateApplicationWindows();
  if (!ProtocolSet)
    ProtocolSet = new TProtocolSet;
  if (!UmotorPara)
    UmotorPara = new TUmotorPara;
  return true;
}

bool SimulatedRig::StartDelivered() {
  if (!UseProgramFolder())
    return false;
  const QString problem = EnsureDataFolder(AppPaths::DataFolder());
  RIG_VERIFY(problem.isEmpty(), qPrintable(problem));
  return CreateWindows() && ShowMainWindow();
}

bool SimulatedRig::ShowMainWindow() {
  Form1->show();
  Form1->activateWindow();
  RIG_VERIFY(QTest::qWaitForWindowActive(Form1), "the main window never became active");
  RIG_VERIFY(QTest::qWaitFor([] { return Form1->Activated; }), "no first activation");
  return true;
}

bool SimulatedRig::StartSimulator(const SimOptions &options, const QString &port) {
  sim.reset();
  sim = std::make_unique<DriveSimulator>(options);
  RIG_VERIFY(sim->Start(), sim->Error().c_str());
  return LinkPort(QString::fromStdString(sim->SlavePath()), port);
}

bool SimulatedRig::LinkPort(const QString &target, const QString &port) {
  const QString ports = AppPaths::DataFolder() + "ports";
  RIG_VERIFY(QDir().mkpath(ports), "");
  const QString link = ports + "/" + port;
  QFile::remove(link);
  RIG_VERIFY(QFile::link(target, link), "");
  return true;
}

void SimulatedRig::ChoosePort(bool rtu, const QString &port) {
  ProtocolSet->ComPort->setCurrentText(port);
  ProtocolSet->ModbusMode->setCurrentIndex(rtu ? 1 : 0);
}

void SimulatedRig::ChooseLine(bool rtu, int baudIndex) {
  ChoosePort(rtu);
  ProtocolSet->UserBaud->setCurrentIndex(baudIndex);
  ProtocolSet->UserParity->setCurrentIndex(0);
  ProtocolSet->UserStopBit->setCurrentIndex(0);
}

bool SimulatedRig::ApplyPort() {
  Form1->ApplyPortSettings();
  Form1->UpcSend->stop();
  RIG_VERIFY(Form1->Comm1->PortOpen(), qPrintable(Form1->Comm1->PortOpenError()));
  return true;
}

bool SimulatedRig::StartRunning(const SimOptions &options) {
  if (!CreateWindows() || !StartSimulator(options))
    return false;
  Form1->show();
  RIG_VERIFY(QTest::qWaitFor([] { return Form1->Activated; }, 20000), "never activated");
  ChoosePort(false);
  if (!ApplyPort())
    return false;
  Form1->UpcSend->start();
  return true;
}

bool SimulatedRig::Reconnect(const SimOptions &options, int baudIndex) {
  Form1->UpcSend->stop();
  Form1->Comm1->ClosePort();
  if (!StartSimulator(options))
    return false;
  ChooseLine(options.rtu, baudIndex);
  return ApplyPort();
}

bool SimulatedRig::StartProgram() {
  CreateApplicationWindows();
  Form1->show();
  Form1->FormActivate();
  RIG_VERIFY(Form1->Activated, "");
  return true;
}

void SimulatedRig::StopProgram() {
  Form1->close(); // runs the close query
  DestroyApplicationWindows();
}

void SimulatedRig::TearDown() {
  Form1->UpcSend->stop();
  Form1->Comm1->ClosePort();
  sim.reset();
}
