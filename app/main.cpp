#include "errorbox.h"
#include "startup.h"

#include <QCommandLineParser>
#include <QIcon>

#include <csignal>

int main(int argc, char** argv)
{
  // A file size limit (ulimit -f) makes a write fail, shown as any other,
  // rather than end the program with the download it holds.
  std::signal(SIGXFSZ, SIG_IGN);
  dz::Application app(argc, argv);
  // Only "Salir" and the main window's close box end the program.
  app.setQuitOnLastWindowClosed(false);
  app.setWindowIcon(QIcon(QStringLiteral(":/art/dedizivi.png")));

  QCommandLineParser options;
  options.setApplicationDescription(QStringLiteral("Downloads and converts the readings of Vexa-Logger data loggers."));
  options.addHelpOption();
  const QCommandLineOption port(QStringLiteral("port"),
                                QStringLiteral("Serial device to use in this run instead of the stored port. The stored "
                                               "settings are not changed unless \"Guardar config de puerto\" stores them."),
                                QStringLiteral("device"));
  options.addOption(port);
  options.process(app);

  dz::CreateProgramWindows();
  if (options.isSet(port))
    dz::UsePortForThisRun(options.value(port));
  dz::ShowMainWindow();
  const int status = app.exec();
  dz::DestroyProgramWindows();
  return status;
}
