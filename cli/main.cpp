#include "cli/CliProgram.h"

#include <QCoreApplication>

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("vossek-drive-cli");
  return CliProgram::Run(app.arguments().mid(1));
}
