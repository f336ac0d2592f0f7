#include "app/params/TInputBox.h"

#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/ScreenFit.h"
#include "app/Widgets.h"
#include "params/DecimalScaling.h"
#include "protocol/HexText.h"
#include "session/ParameterRuns.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

std::string Std(const QString &text) { return text.toStdString(); }

bool IsUnusableLimit(const QString &limit) { return limit.isEmpty() || limit == "--"; }

} // namespace

TInputBox::TInputBox(QWidget *parent) : QDialog(parent) {
  setWindowTitle("Input Box");
  setModal(true);

  Label1 = new QLabel("This box is used for modifing the parameters of the function's.", this);
  Label4 =
      new QLabel("The data in the edit will write to inverter when you click the \"Modify\" button .", this);
  Label4->setWordWrap(true);
  Label3 = new QLabel("Please input data", this);
  ParameterName = new QLabel(this);
  ParameterName->setObjectName("ParameterName");
  ParameterName->setStyleSheet("font-weight: bold");
  UmodifyFunc = new QLineEdit(this);
  UmodifyFunc->setContextMenuPolicy(Qt::NoContextMenu);
  UmodifyFunc->installEventFilter(this);
  Button1 = new QPushButton("Modify", this);
  Label5 = new QLabel("The parameters'  value:", this);
  UreadFunc = new QLineEdit(this);
  UreadFunc->setReadOnly(true);
  SkipTextShaping(UreadFunc); // set at every reply of read all
  Button4 = new QPushButton("read", this);
  Button3 = new QPushButton("Close", this);
  InputboxHint = new QLabel("Hint:", this);
  InputboxHint->setFrameShape(QFrame::Box);
  InputboxHint->setMinimumHeight(24);

  auto *grid = new QGridLayout;
  grid->addWidget(Label3, 0, 0, 1, 2);
  grid->addWidget(UmodifyFunc, 1, 0);
  grid->addWidget(Button1, 1, 1);
  grid->addWidget(Label5, 2, 0, 1, 2);
  grid->addWidget(UreadFunc, 3, 0);
  grid->addWidget(Button4, 3, 1);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Label4);
  layout->addWidget(ParameterName);
  layout->addLayout(grid);
  layout->addWidget(InputboxHint);
  layout->addWidget(Button3, 0, Qt::AlignRight);
  setFixedSize(420, 285);
  ScreenFit::KeepOnScreen(this);

  // Enter in the value box must not close the window.
  for (QPushButton *b : {Button1, Button4, Button3})
    b->setAutoDefault(false);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
}

void TInputBox::ShowParameter(const QString &code, const QString &name) {
  ParameterName->setText(name.isEmpty() ? code : code + "  " + name);
  // read all leaves the last parameter's value here: it is not this one's
  if (code != readCode_) {
    UreadFunc->clear();
    readCode_.clear();
  }
}

void TInputBox::ShowReadValue(const QString &code, const QString &text) {
  readCode_ = code;
  UreadFunc->setText(text);
}

void TInputBox::SetHint(const QString &text) { InputboxHint->setText(text); }

void TInputBox::showEvent(QShowEvent *event) {
  if (Form1) {
    UmodifyFunc->setText(Form1->ParamValueText);
    if (!event->spontaneous())
      move(Form1->geometry().center() - rect().center());
  }
  QDialog::showEvent(event);
}

bool TInputBox::AcceptsKey(const QString &text) const {
  if (text.isEmpty())
    return true; // navigation and editing keys carry no text
  if (text.size() != 1)
    return false;
  const QChar c = text[0];
  if (c == '\b' || (c >= '0' && c <= '9'))
    return true;
  return !LocaleDecimalSeparator.empty() && c == QChar(LocaleDecimalSeparator[0]);
}

bool TInputBox::eventFilter(QObject *watched, QEvent *event) {
  if (watched == UmodifyFunc && event->type() == QEvent::KeyPress) {
    auto *key = static_cast<QKeyEvent *>(event);
    // Pasting would bring in what the keys may not.
    if (key->matches(QKeySequence::Paste) || !AcceptsKey(key->text()))
      return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TInputBox::Button4Click() {
  Form1->Runs->ReadParameter(Form1->CurrentCode, Form1->ParameterWindowRecord());
}

bool TInputBox::RangeAdmits(const QString &value) {
  const QString &min = Form1->ParamMinText;
  const QString &max = Form1->ParamMaxText;
  if (IsUnusableLimit(min) || IsUnusableLimit(max) || value == " ") {
    Dialogs::ShowMessage("This code is not allowed to modify!");
    SetHint("Hint:");
    return false;
  }
  const std::string &sep = LocaleDecimalSeparator;
  const double v = DecimalScaling::ParseDecimal(Std(value), sep);
  const double high = DecimalScaling::ParseDecimal(Std(max), sep);
  const double low = DecimalScaling::ParseDecimal(Std(min), sep);
  if (v > high || v < low) {
    SetHint("Input data out of range!   Valid range:" + min + "----" + max);
    UmodifyFunc->setFocus();
    UmodifyFunc->selectAll();
    return false;
  }
  SetHint("Hint:");
  return true;
}

bool TInputBox::Button1Click() {
  const QString value = UmodifyFunc->text();
  if (value.isEmpty()) {
    SetHint("Hint: Please input data!");
    UmodifyFunc->setFocus();
    return false;
  }
  // Write all sends the stored values unchecked.
  if (!Form1->State.WriteAllActive && !RangeAdmits(value))
    return false;

  ParameterRuns &runs = *Form1->Runs;
  const QString &code = Form1->CurrentCode;
  const QString text = runs.Normalized(code, value);
  UmodifyFunc->setText(text);
  if (text.isEmpty())
    return false;
  if (!runs.ModifyParameter(code, text, Form1->ParameterWindowRecord())) {
    // Four hex digits cannot carry it; sending a cut value would change the
    // parameter to something nobody asked for.
    SetHint(QString::fromStdString("Hint: Value too large!   Largest value:" +
                                   DecimalScaling::FormatRegisterValue(DecimalScaling::MaxRegisterValue,
                                                                       runs.Decimals(code),
                                                                       LocaleDecimalSeparator)));
    return false;
  }
  return true;
}

void TInputBox::Button3Click() {
  UmodifyFunc->clear();
  UreadFunc->clear();
  SetHint("Hint:");
  reject();
}
