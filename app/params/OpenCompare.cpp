// The comparison window opened from the parameter tab, on the function table
// that is open, and the verification option of write all, kept between runs.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/params/CompareWindow.h"
#include "base/AppPaths.h"
#include "params/ParameterCodes.h"
#include "protocol/HexText.h"
#include "settings/Preferences.h"

#include <QCheckBox>
#include <QPushButton>

namespace {
const QString VerifyKey = QStringLiteral("Parameters/VerifyWriteAll");
}

void TForm1::CompareParametersClick() {
  LoadDecimalSeparator();
  // Only the series' own table knows the decimals of its codes; any other is
  // compared as its values are written.
  const bool seriesDecimals = IsRm40Selected();
  auto decimals = [seriesDecimals](const QString &code) {
    return seriesDecimals ? DecimalPlaces(code.mid(1).toStdString()) : -1;
  };
  auto *window = new TCompareWindow(DataFolder, FunctionTableFile, decimals,
                                    QString::fromStdString(LocaleDecimalSeparator), this);
  Dialogs::ExecModal(window);
}

void TForm1::WireParameterSets() {
  VerifyWriteAll->setChecked(Preferences(AppPaths::DataFolder()).Bool(VerifyKey, false));
  connect(VerifyWriteAll, &QCheckBox::toggled, this, [](bool checked) {
    Preferences preferences(AppPaths::DataFolder());
    preferences.Set(VerifyKey, checked);
    if (!preferences.Save())
      Dialogs::ShowMessage("The choice could not be kept in " + preferences.Path() + ".");
  });
  connect(CompareParameters, &QPushButton::clicked, this, [this] { CompareParametersClick(); });
}
