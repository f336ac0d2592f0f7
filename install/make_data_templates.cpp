// make_data_templates FOLDER: writes the delivered tables into FOLDER, to be
// installed as the read-only templates that a user's data folder is made
// from at its first start.

#include "settings/DataFolder.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_data_templates FOLDER\n");
    return 2;
  }
  const QString problem = EnsureDataFolder(QString::fromLocal8Bit(argv[1]));
  if (!problem.isEmpty()) {
    std::fprintf(stderr, "make_data_templates: %s\n", qPrintable(problem));
    return 1;
  }
  return 0;
}
