// The function table of the selected drive series in DBGrid1: loading it,
// the series selector's effect on the control tab, the highlighted current
// row, mouse-wheel stepping and the clicks that open the parameter window.
#include "app/MainWindow.h"
#include "base/AppPaths.h"
#include "session/FunctionTable.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

namespace {
constexpr int Rm40Series = 0;
} // namespace

bool TForm1::IsRm40Selected() const { return DriveSeries->currentIndex() == Rm40Series; }

void TForm1::DriveSeriesExit() {
  DataFolder = AppPaths::DataFolder();
  if (IsRm40Selected())
    FunctionTableFile = "RM40.DBF";
  Functions->Load(DataFolder, FunctionTableFile, true);
}

void TForm1::DriveSeriesChange() {
  if (!IsRm40Selected())
    return;
  for (QWidget *control : std::initializer_list<QWidget *>{UFwdStart, URevStart, UFwdJog, URevJog, Edit9,
                                                           Edit12, Edit13, Edit14})
    control->setEnabled(true);
  Label16->setText("Current Speed");
  Label20->setText("r/min");
}

void TForm1::DBGrid1CellClick(int column) {
  Q_UNUSED(column);
  // PrepareParameterWindow itself looks whether the MODIFY column was hit.
  PrepareParameterWindow();
}

void TForm1::DBGrid1DblClick(int column) { DBGrid1CellClick(column); }

void TForm1::WheelStep(int delta) {
  // Turned towards the user (negative) is the next record.
  Functions->MoveBy(delta < 0 ? 1 : -1);
}
