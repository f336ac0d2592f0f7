#include "drive/InputFilters.h"

#include "app/Dialogs.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace InputFilters {
namespace {

QValidator *CharacterValidator(const QString &characterClass, QObject *parent) {
  return new QRegularExpressionValidator(QRegularExpression("[" + characterClass + "]*"), parent);
}

bool fieldCheckRunning = false;

class FieldExitFilter : public QObject {
public:
  FieldExitFilter(QObject *parent, std::function<void()> onExit)
      : QObject(parent), onExit_(std::move(onExit)) {}

  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::FocusOut && LeavesField(static_cast<QFocusEvent *>(event)) &&
        !fieldCheckRunning) {
      fieldCheckRunning = true;
      try {
        onExit_();
      } catch (...) {
        fieldCheckRunning = false;
        throw;
      }
      fieldCheckRunning = false;
    }
    return QObject::eventFilter(watched, event);
  }

private:
  static bool LeavesField(const QFocusEvent *event) {
    switch (event->reason()) {
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
    case Qt::MenuBarFocusReason:
      return false;
    default:
      return true;
    }
  }

  std::function<void()> onExit_;
};

class MouseButtonFilter : public QObject {
public:
  MouseButtonFilter(QObject *parent, std::function<void()> onPress, std::function<void()> onRelease)
      : QObject(parent), onPress_(std::move(onPress)), onRelease_(std::move(onRelease)) {}

  bool eventFilter(QObject *watched, QEvent *event) override {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      onPress_();
      break;
    case QEvent::MouseButtonRelease:
      onRelease_();
      break;
    default:
      break;
    }
    return QObject::eventFilter(watched, event);
  }

private:
  std::function<void()> onPress_;
  std::function<void()> onRelease_;
};

} // namespace

void AllowOnly(QLineEdit *edit, const QString &characterClass) {
  edit->setValidator(CharacterValidator(characterClass, edit));
}

void AllowOnly(QComboBox *combo, const QString &characterClass) {
  combo->setValidator(CharacterValidator(characterClass, combo));
}

void OnFieldExit(QWidget *field, std::function<void()> onExit) {
  field->installEventFilter(new FieldExitFilter(field, std::move(onExit)));
}

void OnMouseButtons(QWidget *widget, std::function<void()> onPress, std::function<void()> onRelease) {
  widget->installEventFilter(new MouseButtonFilter(widget, std::move(onPress), std::move(onRelease)));
}

void RefuseField(QWidget *field, const FieldCheck &check) {
  Dialogs::ShowMessage(QString::fromStdString(check.message));
  field->setFocus();
  if (!check.selectText)
    return;
  if (auto *edit = qobject_cast<QLineEdit *>(field))
    edit->selectAll();
  else if (auto *combo = qobject_cast<QComboBox *>(field); combo && combo->lineEdit())
    combo->lineEdit()->selectAll();
}

} // namespace InputFilters
