// The main window's side of the parameter window: loading a function table
// record into it. Its read and modify go through ParameterRuns, which stores
// the values the drive confirms (app/params/ReadWriteAll.cpp shows them).
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/params/TInputBox.h"
#include "protocol/HexText.h"
#include "session/FunctionTable.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {
QString LocaleSeparator() { return QString::fromStdString(LocaleDecimalSeparator); }

QString Replaced(QString text, const QString &from, const QString &to) {
  if (from.isEmpty())
    return text;
  return text.replace(from, to);
}

bool GridColumnIsModify(const TForm1 &form) {
  const QAbstractItemModel *model = form.DBGrid1->model();
  const int column = form.DBGrid1->currentIndex().column();
  return model && column >= 0 && model->headerData(column, Qt::Horizontal).toString() == "MODIFY";
}
} // namespace

void TForm1::PrepareParameterWindow() {
  if (!GridColumnIsModify(*this) && !CommonParamEdit)
    return;
  if (Functions->Text("NAME") == "Reserved") {
    Dialogs::ShowMessage("This parameter is not allowed to read or write!");
    return;
  }
  LoadDecimalSeparator();
  const QString separator = LocaleSeparator();
  ParamMinText = Replaced(Functions->Text("MIN"), ".", separator);
  ParamMaxText = Replaced(Functions->Text("MAX"), ".", separator);
  if (!ParamMinText.isEmpty() && !ParamMaxText.isEmpty()) {
    InputBox->Label3->setText("Please input data (" + ParamMinText + "----" + ParamMaxText + ")");
    InputBox->Button1->setEnabled(true);
  } else {
    InputBox->Label3->setText("Please input data");
  }
  CurrentCode = Functions->ShortCode();
  InputBox->ShowParameter(Functions->Text("CODE"), Functions->Text("NAME"));
  ParamValueText = Replaced(Functions->Text("NOWDATA"), StoredDecimalSeparator, separator);
  InputBox->SetHint("Hint:");
  if (CommonParamEdit) {
    CommonParamEdit = false;
    return;
  }
  Dialogs::ExecModal(InputBox);
}
