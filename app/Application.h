#pragma once

#include <QApplication>

// The program's application object. A conversion error (or any other
// exception) raised inside an event handler ends that handler; its message is
// shown in the standard error box and the program runs on. Qt does not carry
// exceptions through its event loop, so they are caught here, once for all
// handlers, timer ticks included.
class TApplication : public QApplication {
public:
  TApplication(int &argc, char **argv);
  bool notify(QObject *receiver, QEvent *event) override;
};
