#include "app/tools/FindDrivesWiring.h"

#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"
#include "app/tools/FindDrivesWindow.h"
#include "base/AppPaths.h"
#include "serial/TComm.h"

#include <QAction>
#include <QComboBox>
#include <QPointer>
#include <memory>

namespace {
// The protocol settings as the drive was found; the user confirms with "OK".
void OfferSettings(TForm1 *form, const QString &port, const FoundDrive &drive) {
  // Shown first: opening the window lists the ports anew.
  ProtocolSet->ShowCentredOn(form);
  if (!port.isEmpty())
    ProtocolSet->ComPort->setCurrentText(port);
  ProtocolSet->ModbusMode->setCurrentText(DiscoveryPlan::ModeName(drive.line));
  if (!drive.line.overTcp) {
    ProtocolSet->UserBaud->setCurrentText(QString::number(drive.line.baud));
    ProtocolSet->UserParity->setCurrentText(DiscoveryPlan::ParityLetter(drive.line.parity));
    ProtocolSet->UserStopBit->setCurrentText(QString::number(drive.line.StopBitCount()));
  }
  // The next reads hear the adapter's echo as the search did.
  ProtocolSet->Echo->setCurrentText(drive.echo ? QStringLiteral("on") : QStringLiteral("off"));
  form->MachineID->setCurrentText(QString::number(drive.address));
}
} // namespace

void WireFindDrives(TForm1 *form) {
  auto window = std::make_shared<QPointer<FindDrivesWindow>>();
  // Whether the main window held its port when the search took it.
  auto portHeld = std::make_shared<bool>(false);
  QObject::connect(form->FindDrives1, &QAction::triggered, form, [form, window, portHeld] {
    if (!*window) {
      auto *made = new FindDrivesWindow(AppPaths::DataFolder(), form);
      QObject::connect(made, &FindDrivesWindow::PortNeeded, form,
                       [form, portHeld] { *portHeld = form->YieldPort(); });
      QObject::connect(made, &FindDrivesWindow::PortReleased, form, [form, portHeld] {
        if (*portHeld)
          form->ReclaimPort();
        *portHeld = false;
      });
      QObject::connect(made, &FindDrivesWindow::UseSettings, form, [form, made](const FoundDrive &drive) {
        OfferSettings(form, made->Port->text().trimmed(), drive);
      });
      *window = made;
    }
    (*window)->SetPort(form->Comm1->CommName());
    (*window)->show();
    (*window)->raise();
    (*window)->activateWindow();
  });
}
