#include "app/Application.h"

#include "app/Dialogs.h"

#include <exception>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {
  // No display name: the platform would append it to every window's title
  // ("ProtocolSettings — ..."), and each window carries its own caption.
  setApplicationName("Vossek Drive Desk");
}

bool TApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &error) {
    Dialogs::ShowError(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    Dialogs::ShowError(QStringLiteral("Unexpected error"));
  }
  return false;
}
