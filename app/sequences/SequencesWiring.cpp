// Connects the controls of the "User's Define" tab. RUN and STOP of the tool
// bar are routed by tab with the drive controls.
#include "app/MainWindow.h"
#include "app/drive/InputFilters.h"

#include <QAction>

void TForm1::WireSequences() {
  WireCommandGrid();
  WireSequenceRun();
  InputFilters::AllowOnly(URepeatTimes, QStringLiteral("0-9"));
  connect(Import, &QAction::triggered, this, [this] { ImportClick(); });
  connect(Export1, &QAction::triggered, this, [this] { Export1Click(); });
}
