#pragma once

#include "app/Application.h"

#include <QTest>

// Like QTEST_MAIN, but with the program's own application object, so that
// errors raised inside event handlers reach the standard error box as they do
// in the program.
#define VDD_TEST_MAIN(TestClass)                                                                         \
  int main(int argc, char **argv) {                                                                      \
    TApplication app(argc, argv);                                                                        \
    app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
    TestClass test;                                                                                      \
    QTEST_SET_MAIN_SOURCE_PATH                                                                           \
    return QTest::qExec(&test, argc, argv);                                                              \
  }
