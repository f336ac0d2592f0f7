#include "app/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
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

QString GetOpenFileName(const QString &caption, const QString &filter) {
  if (CurrentHandler()) {
    const Answer a = Ask({Kind::OpenFile, caption, QString(), filter, nullptr});
    return a.accepted ? a.path : QString();
  }
  return QFileDialog::getOpenFileName(Parent(), caption, QString(), ToQtFilter(filter));
}

QString GetSaveFileName(const QString &caption, const QString &defaultName, const QString &filter) {
  if (CurrentHandler()) {
    const Answer a = Ask({Kind::SaveFile, caption, defaultName, filter, nullptr});
    return a.accepted ? a.path : QString();
  }
  // The program asks its own question before replacing a file where it must.
  return QFileDialog::getSaveFileName(Parent(), caption, defaultName, ToQtFilter(filter), nullptr,
                                      QFileDialog::DontConfirmOverwrite);
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
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i < parts.size(); i += 2)
    out << parts[i];
  return out.join(";;");
}

} // namespace Dialogs
