#include "errorbox.h"

#include "titlebar.h"

#include <QMessageBox>
#include <QPointer>

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
  UseOwnTitleBarsOnWayland();
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
