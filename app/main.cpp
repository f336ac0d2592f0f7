#include "app/Application.h"
#include "app/MainWindow.h"

int main(int argc, char **argv) {
  TApplication app(argc, argv);
  CreateApplicationWindows();
  Form1->show();
  const int result = app.exec();
  DestroyApplicationWindows();
  return result;
}
