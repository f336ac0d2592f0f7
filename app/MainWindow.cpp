#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QEvent>
#include <QKeyEvent>

TForm1 *Form1 = nullptr;
TProtocolSet *ProtocolSet = nullptr;
TUmotorPara *UmotorPara = nullptr;
TInputBox *InputBox = nullptr;

TForm1::TForm1(QWidget *parent) : QMainWindow(parent) {
  BuildLayout();
  WireCommunication();
  WireDrive();
  WireParams();
  WireSequences();
  WireSettings();
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::BuildLayout() {}
void TForm1::FormCreate() {}
void TForm1::FormActivate() {}

bool TForm1::event(QEvent *event) {
  if (event->type() == QEvent::WindowActivate)
    FormActivate();
  return QMainWindow::event(event);
}

void TForm1::closeEvent(QCloseEvent *event) { QMainWindow::closeEvent(event); }

void TForm1::keyPressEvent(QKeyEvent *event) { QMainWindow::keyPressEvent(event); }

void CreateApplicationWindows() { Form1 = new TForm1; }

void DestroyApplicationWindows() {
  delete Form1;
  Form1 = nullptr;
}
