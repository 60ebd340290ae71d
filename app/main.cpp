#include "errorbox.h"
#include "startup.h"

#include <QIcon>

int main(int argc, char** argv)
{
  dz::Application app(argc, argv);
  // Only "Salir" and the main window's close box end the program.
  app.setQuitOnLastWindowClosed(false);
  app.setWindowIcon(QIcon(QStringLiteral(":/art/dedizivi.png")));

  dz::CreateProgramWindows();
  dz::ShowMainWindow();
  const int status = app.exec();
  dz::DestroyProgramWindows();
  return status;
}
