#include "app/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace Dialogs {
namespace {
Handler &CurrentHandler() {
  static Handler handler;
  return handler;
}

QWidget *Parent() { return QApplication::activeWindow(); }

QString Title() { return QApplication::applicationDisplayName(); }
} // namespace

void SetHandler(Handler handler) { CurrentHandler() = std::move(handler); }

static Answer Ask(const Request &request) { return CurrentHandler()(request); }

void ShowMessage(const QString &text) {
  if (CurrentHandler()) {
    Ask({Kind::Message, QString(), text, QString(), nullptr});
    return;
  }
  QMessageBox::information(Parent(), Title(), text);
}

void ShowError(const QString &text) {
  if (CurrentHandler()) {
    Ask({Kind::Error, QString(), text, QString(), nullptr});
    return;
  }
  QMessageBox::critical(Parent(), Title(), text);
}

bool OkCancel(const QString &caption, const QString &text) {
  if (CurrentHandler())
    return Ask({Kind::OkCancel, caption, text, QString(), nullptr}).accepted;
  return QMessageBox::question(Parent(), caption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

bool YesNo(const QString &caption, const QString &text) {
  if (CurrentHandler())
    return Ask({Kind::YesNo, caption, text, QString(), nullptr}).accepted;
  return QMessageBox::question(Parent(), caption, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

int Choose(const QString &caption, const QString &text, const QStringList &buttons) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, Parent());
  QList<QAbstractButton *> added;
  for (const QString &label : buttons)
    added << box.addButton(label, QMessageBox::ActionRole);
  if (!added.isEmpty())
    box.setEscapeButton(added.last());
  // With a test handler the box is shown without a nested loop; the handler
  // reads it and clicks a button as a user does.
  if (CurrentHandler()) {
    box.open();
    Ask({Kind::Choice, caption, text, QString(), &box});
  } else {
    box.exec();
  }
  return static_cast<int>(added.indexOf(box.clickedButton()));
}

namespace {
// One real file dialog for both directions. With a test handler installed the
// dialog is handed over unshown; the handler may show it (without a nested
// loop), read what it lists and answer through it like a user, or answer
// itself.
QString RunFileDialog(Kind kind, const QString &caption, const QString &defaultName, const QString &filter,
                      const QString &directory) {
  QFileDialog dialog(Parent(), caption, directory, ToQtFilter(filter));
  if (kind == Kind::SaveFile) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The program itself decides about an existing file and says so.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!defaultName.isEmpty())
      dialog.selectFile(defaultName);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (!CurrentHandler())
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  const Answer a = Ask({kind, caption, defaultName, filter, &dialog});
  if (dialog.result() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    return dialog.selectedFiles().first();
  return a.accepted ? a.path : QString();
}
} // namespace

QString GetOpenFileName(const QString &caption, const QString &filter, const QString &directory) {
  return RunFileDialog(Kind::OpenFile, caption, QString(), filter, directory);
}

QString GetSaveFileName(const QString &caption, const QString &defaultName, const QString &filter) {
  return RunFileDialog(Kind::SaveFile, caption, defaultName, filter, QString());
}

void ExecModal(QDialog *dialog) {
  if (CurrentHandler()) {
    dialog->open();
    Ask({Kind::Modal, dialog->windowTitle(), QString(), QString(), dialog});
    return;
  }
  dialog->exec();
}

QString ToQtFilter(const QString &filter) {
  // Qt takes the patterns from the parentheses of each entry, separated by
  // blanks; the entries here list theirs after the "|", separated by ";".
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i < parts.size(); i += 2) {
    if (i + 1 >= parts.size()) {
      out << parts[i];
      continue;
    }
    QString name = parts[i];
    const qsizetype paren = name.indexOf('(');
    if (paren >= 0)
      name = name.left(paren);
    QStringList patterns;
    for (const QString &pattern : parts[i + 1].split(';', Qt::SkipEmptyParts))
      if (!pattern.trimmed().isEmpty())
        patterns << pattern.trimmed();
    out << name.trimmed() + " (" + patterns.join(' ') + ")";
  }
  return out.join(";;");
}

} // namespace Dialogs
