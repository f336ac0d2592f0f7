#include "app/drive/InputFilters.h"

#include "app/Dialogs.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace InputFilters {
namespace {

QValidator *CharacterValidator(const QString &characterClass, QObject *parent) {
  return new QRegularExpressionValidator(QRegularExpression("[" + characterClass + "]*"), parent);
}

// Set while a field check runs: the focus moves it makes (a message box,
// the focus put back into the refused field) must not start other checks.
bool fieldCheckRunning = false;

class FieldCheckScope {
public:
  FieldCheckScope() : outer_(fieldCheckRunning) { fieldCheckRunning = true; }
  ~FieldCheckScope() { fieldCheckRunning = outer_; }
  FieldCheckScope(const FieldCheckScope &) = delete;
  FieldCheckScope &operator=(const FieldCheckScope &) = delete;

private:
  bool outer_;
};

// The fields refused so far, kept while the queued checks run so that the
// caller can tell whether one of its own fields was refused.
std::vector<const QWidget *> *refusedFields = nullptr;

class FieldExitFilter;
// Checks queued by a focus change that have not run yet.
std::vector<FieldExitFilter *> pendingChecks;

class FieldExitFilter : public QObject {
public:
  FieldExitFilter(QWidget *field, std::function<void()> onExit)
      : QObject(field), field_(field), onExit_(std::move(onExit)) {}
  ~FieldExitFilter() override { std::erase(pendingChecks, this); }

  // Runs the check queued when the field was left, if it has not run yet.
  void RunPending() {
    if (!pending_)
      return;
    pending_ = false;
    std::erase(pendingChecks, this);
    if (!field_->isEnabled())
      return;
    const FieldCheckScope scope;
    onExit_();
  }

  bool eventFilter(QObject *watched, QEvent *event) override {
    // The check runs once the focus has settled on the next control and the
    // field has finished its own focus-out handling (which drops the
    // selection), so that a refused field keeps the focus and selection the
    // check gives it.
    // A field that is disabled (the drive address while broadcasting) loses
    // the focus without being left by the user.
    if (event->type() == QEvent::FocusOut && LeavesField(static_cast<QFocusEvent *>(event)) &&
        !fieldCheckRunning && !pending_) {
      pending_ = true;
      pendingChecks.push_back(this);
      QTimer::singleShot(0, this, [this] { RunPending(); });
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

  QWidget *field_;
  std::function<void()> onExit_;
  bool pending_ = false;
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

bool RunPendingFieldChecks(std::initializer_list<const QWidget *> fields) {
  std::vector<const QWidget *> refused;
  refusedFields = &refused;
  const std::vector<FieldExitFilter *> queued = pendingChecks;
  for (FieldExitFilter *filter : queued)
    if (std::find(pendingChecks.begin(), pendingChecks.end(), filter) != pendingChecks.end())
      filter->RunPending();
  refusedFields = nullptr;
  return std::any_of(fields.begin(), fields.end(), [&](const QWidget *field) {
    return std::find(refused.begin(), refused.end(), field) != refused.end();
  });
}

void RefuseField(QWidget *field, const FieldCheck &check) {
  if (refusedFields)
    refusedFields->push_back(field);
  const FieldCheckScope scope;
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
