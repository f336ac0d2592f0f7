#include "app/trend/TrendWiring.h"

#include "app/MainWindow.h"
#include "app/trend/TrendWindow.h"
#include "session/DriveStatusModel.h"
#include "trend/TrendStore.h"

#include <QAction>
#include <QPointer>
#include <memory>

void WireTrend(TForm1 *form) {
  // The store lives as long as the connections that hold it, that is as long
  // as the main window; the window is made when it is first asked for.
  auto store = std::make_shared<TrendStore>();
  auto window = std::make_shared<QPointer<TrendWindow>>();

  QObject::connect(form->DriveStatus, &DriveStatusModel::StatusDecoded, form,
                   [store, window](const DriveStatusReading &reading) {
                     const DriveStatusValues &status = reading.values;
                     store->Add(status.address, reading.arrivedMs,
                                {status.frequency, status.outputCurrent, status.outputVoltage,
                                 status.dcVoltage, status.speed},
                                status.statusCode);
                     if (*window)
                       (*window)->SamplesAdded();
                   });
  QObject::connect(form->Trend1, &QAction::triggered, form, [form, store, window] {
    if (!*window)
      *window = new TrendWindow(*store, form);
    (*window)->show();
    (*window)->raise();
    (*window)->activateWindow();
  });
}
