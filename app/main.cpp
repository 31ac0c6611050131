#include "app/ApplicationPaths.h"
#include "app/CredentialsDialog.h"
#include "app/ErrorDisplay.h"
#include "app/TForm1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  opc::SetApplicationTitle(opc::ApplicationTitleFromPath(QCoreApplication::applicationFilePath()));
  opc::InstallCredentialsHook();
  opc::TForm1 Form1;
  Form1.show();
  application.exec();
  return 0;
}
