#include "AppTests.h"

#include <QApplication>

// Widget tests need no display: the offscreen platform stands in when none is set.
int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  return opc::test::RunAppTests(argc, argv);
}
