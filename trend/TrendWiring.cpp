#include "trend/TrendWiring.h"

#include "app/MainWindow.h"
#include "trend/TrendStore.h"
#include "trend/TrendWindow.h"

#include <QAction>
#include <QDateTime>
#include <memory>

void WireTrend(TForm1 *form) {
  // kept alive by the feeding connection, which ends with the window
  auto store = std::make_shared<TrendStore>();
  auto *window = new TrendWindow(*store, form);
  QObject::connect(form, &TForm1::DriveStatusDecoded, window,
                   [store, window](const DriveStatusValues &status) {
                     store->Add(status.address, QDateTime::currentMSecsSinceEpoch(),
                                {status.frequency, status.outputCurrent, status.outputVoltage,
                                 status.dcVoltage, status.speed},
                                status.statusCode);
                     window->SamplesAdded();
                   });
  QObject::connect(form->Trend1, &QAction::triggered, window, [window] {
    window->show();
    window->raise();
    window->activateWindow();
  });
}
