#include "errorbox.h"

#include "access.h"
#include "titlebar.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTranslator>

namespace dz {

QString ErrorBoxText(const QString& message)
{
  if (!message.isEmpty() && message.back() > QChar('.'))
    return message + QLatin1Char('.');
  return message;
}

void ShowErrorBox(const QString& message)
{
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kProgramTitle), ErrorBoxText(message),
                  QMessageBox::Ok, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("dzErrorBox"));
  DescribeMessageBox(box);
  box.exec();
}

void ShowCurrentException()
{
  try {
    throw;
  } catch (const std::exception& e) {
    ShowErrorBox(QString::fromUtf8(e.what()));
  } catch (...) {
    ShowErrorBox(QStringLiteral("Unknown error"));
  }
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
  setApplicationName(QString::fromLatin1(kProgramTitle));
  UseSpanish();
  UseOwnTitleBarsOnWayland();
  UseKeyboardAndScreenReaderAids();
}

void Application::UseSpanish()
{
  // The program speaks Spanish whatever the user's locale: Qt's own dialogs
  // and buttons through Qt's translations, dates through the locale. Numbers
  // keep the program's own separators, which do not come from the locale.
  QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
  auto* qt = new QTranslator(this);
  if (qt->load(QLocale(QLocale::Spanish, QLocale::Spain), QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    installTranslator(qt);
  else
    delete qt;
}

bool Application::notify(QObject* receiver, QEvent* event)
{
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    // Whatever the handler had done so far stays done; the user is told and goes on.
    ShowCurrentException();
    return true;
  }
}

} // namespace dz
