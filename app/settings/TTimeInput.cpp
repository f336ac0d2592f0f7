#include "app/settings/TTimeInput.h"

#include "app/Dialogs.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

const QString TTimeInput::IntervalPrompt = QStringLiteral("Please input the value of package timeinterval");
const QString TTimeInput::TimeoutPrompt = QStringLiteral("Please input the value of package timeout");
const QString TTimeInput::RangeMessage = QStringLiteral("Please input data! Range:50-100000.");

namespace {
constexpr int MinimumMs = 50;
constexpr int MaximumMs = 100000;
} // namespace

TTimeInput::TTimeInput(const QString &prompt, int &intervalMs, int &timeoutMs, QWidget *parent)
    : QDialog(parent), intervalMs_(intervalMs), timeoutMs_(timeoutMs) {
  setWindowTitle(QStringLiteral("Time Control"));
  setFixedSize(367, 169);
  Label1 = new QLabel(prompt, this);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setText(QString::number(prompt == IntervalPrompt ? intervalMs : timeoutMs));
  Edit1->installEventFilter(this);
  Button1 = new QPushButton(QStringLiteral("Ok"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true); // Enter in the field means "Ok"
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  auto *row = new QHBoxLayout;
  row->addWidget(Edit1);
  row->addWidget(new QLabel(QStringLiteral("ms"), this));
  row->addStretch();
  layout->addLayout(row);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  layout->addLayout(buttons);
}

bool TTimeInput::eventFilter(QObject *watched, QEvent *event) {
  if (watched == Edit1 && event->type() == QEvent::KeyPress) {
    // Of the typed characters only digits reach the field; editing and
    // cursor keys, Ctrl shortcuts, Enter and Escape keep their usual work.
    const auto *key = static_cast<QKeyEvent *>(event);
    const QString text = key->text();
    const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool typed =
        !shortcut && text.size() == 1 && text[0].unicode() >= 0x20 && text[0].unicode() != 0x7F;
    if (typed && (text[0] < u'0' || text[0] > u'9'))
      return true;
  } else if (watched == Edit1 && event->type() == QEvent::FocusOut) {
    // Leaving the field for another control checks it; the window losing
    // the focus as a whole (another window, a menu) does not.
    const auto reason = static_cast<QFocusEvent *>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !checking_)
      Edit1Exit();
  }
  return QDialog::eventFilter(watched, event);
}

bool TTimeInput::Edit1Exit() {
  bool ok = false;
  const int value = Edit1->text().toInt(&ok);
  if (ok && value >= MinimumMs && value <= MaximumMs)
    return true;
  checking_ = true;
  Dialogs::ShowMessage(RangeMessage);
  Edit1->setFocus();
  checking_ = false;
  return false;
}

void TTimeInput::Button1Click() {
  // "Ok" stores only a value the field check accepts, so a time the check
  // refuses (an empty field, 40 ms) can never reach the scheduler.
  if (!Edit1Exit())
    return;
  const int value = Edit1->text().toInt();
  if (Label1->text() == IntervalPrompt)
    intervalMs_ = value;
  else
    timeoutMs_ = value;
  accept();
}
