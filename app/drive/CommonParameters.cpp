// The "Common Paras" frame: six often-used function parameters, each in a
// box that opens the parameter window for its record of the function table.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/params/TInputBox.h"
#include "protocol/HexText.h"
#include "session/FunctionTable.h"

#include <QApplication>
#include <QLineEdit>

namespace {
struct CommonParameter {
  const char *shortCode;
  int record; // position in the delivered RM40 table as the grid lists it
};

constexpr CommonParameter Frequency{"113", 11};
constexpr CommonParameter AccTime{"114", 12};
constexpr CommonParameter DecTime{"115", 13};
constexpr CommonParameter JogFrequency{"124", 21};
constexpr CommonParameter JogAccTime{"125", 22};
constexpr CommonParameter JogDecTime{"126", 23};

QString CodeOf(const CommonParameter &parameter) { return QString("F") + parameter.shortCode; }

void OpenFromBox(TForm1 &form, TClickEdit *box, const CommonParameter &parameter) {
  form.CurrentCode = parameter.shortCode;
  InputBox->ShowParameter(CodeOf(parameter), QString()); // the table's record adds its name
  if (form.IsRm40Selected()) {
    // An imported table may hold its records elsewhere; opening the window
    // on whatever stands at the usual place would write another parameter.
    const int record = form.Functions->FindCode(QString("F") + parameter.shortCode, parameter.record);
    if (record < 0) {
      Dialogs::ShowMessage(QString("F") + parameter.shortCode + " is not in the function table!");
      return;
    }
    form.OpenCommonParameter(record);
  }
  const QString separator = QString::fromStdString(LocaleDecimalSeparator);
  QString value = box->text();
  if (!form.StoredDecimalSeparator.isEmpty())
    value.replace(form.StoredDecimalSeparator, separator);
  form.ParamValueText = value;
  box->setText(value);
  InputBox->SetHint("Hint:");
  Dialogs::ExecModal(InputBox);
}
} // namespace

void TForm1::Edit9Click() { OpenFromBox(*this, Edit9, Frequency); }
void TForm1::Edit10Click() { OpenFromBox(*this, Edit10, AccTime); }
void TForm1::Edit11Click() { OpenFromBox(*this, Edit11, DecTime); }
void TForm1::Edit12Click() { OpenFromBox(*this, Edit12, JogFrequency); }
void TForm1::Edit13Click() { OpenFromBox(*this, Edit13, JogAccTime); }
void TForm1::Edit14Click() { OpenFromBox(*this, Edit14, JogDecTime); }

void TForm1::ShowCommonParameterCodes() {
  const std::pair<TClickEdit *, CommonParameter> boxes[] = {{Edit9, Frequency},   {Edit10, AccTime},
                                                            {Edit11, DecTime},    {Edit12, JogFrequency},
                                                            {Edit13, JogAccTime}, {Edit14, JogDecTime}};
  for (const auto &[box, parameter] : boxes) {
    box->setToolTip(CodeOf(parameter));
    MarkCommonValue(box, false);
  }
}

void TForm1::MarkCommonValue(TClickEdit *box, bool fromDrive) {
  // the code stands first in the tool tip, what the value is after it
  const QString code = box->toolTip().section(QLatin1Char(' '), 0, 0);
  box->setToolTip(fromDrive ? code + QStringLiteral(" \u2014 read from the drive")
                            : code + QStringLiteral(" \u2014 the stored value, not read from the drive since "
                                                    "start; click and \"read\" to ask the drive"));
  QFont font = box->font();
  font.setItalic(!fromDrive);
  box->setFont(font);
  QPalette palette = box->palette();
  palette.setColor(QPalette::Text,
                   fromDrive ? QApplication::palette().color(QPalette::Text) : QColor(Qt::gray));
  box->setPalette(palette);
}

void TForm1::OpenCommonParameter(int record) {
  CommonParamRow = record;
  const int remembered = Functions->CurrentRecord();
  CommonParamEdit = true;
  Functions->MoveTo(record);
  PrepareParameterWindow();
  // A "Reserved" record leaves the flag set; the next grid click must not
  // be taken for a common parameter.
  CommonParamEdit = false;
  Functions->MoveTo(remembered);
}

TClickEdit *TForm1::CommonBoxOfCode(const QString &code) const {
  if (code == "F113")
    return Edit9;
  if (code == "F114" || code == "F007" || code == "F015")
    return Edit10;
  if (code == "F115" || code == "F008" || code == "F016")
    return Edit11;
  if (code == "F124")
    return Edit12;
  if (code == "F125")
    return Edit13;
  if (code == "F126")
    return Edit14;
  return nullptr;
}
