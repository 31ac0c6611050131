// One whole start-up, offscreen, ended as soon as the window is on screen: the program's window
// with its template loaded, or ("bare") a plain Qt window of the same size. bench/run times both.
#include "app/ErrorDisplay.h"
#include "app/TForm1.h"

#include <QApplication>
#include <QTest>
#include <cstring>

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  const bool bare = argc > 1 && std::strcmp(argv[1], "bare") == 0;
  QApplication application(argc, argv);
  opc::SetErrorPresenter([](const QString&, const QString&) { std::exit(1); });
  if (bare) {
    QWidget window;
    window.resize(578, 501);
    window.show();
    return QTest::qWaitForWindowExposed(&window) ? 0 : 1;
  }
  opc::TForm1 form;
  form.show();
  return QTest::qWaitForWindowExposed(&form) ? 0 : 1;
}
