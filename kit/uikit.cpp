#include "uikit.h"

#include <QGuiApplication>
#include <QScreen>

namespace dz {

void ShowForm(QWidget* form)
{
  if (!form)
    return;
  if (form->isMinimized())
    form->showNormal();
  // Windows are centred when first shown; later the user's placement stays.
  if (!form->property("dzShownOnce").toBool()) {
    form->setProperty("dzShownOnce", true);
    CentreOnScreen(form);
  }
  form->show();
  form->raise();
  form->activateWindow();
}

QFont AppFont(const QString& family, int pixelSize, bool bold)
{
  QString real = family;
  if (family == QLatin1String("Arial") || family == QLatin1String("MS Sans Serif"))
    real = QStringLiteral("Liberation Sans");
  QFont f(real);
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  return f;
}

void Place(QWidget* w, int left, int top, int width, int height)
{
  w->setGeometry(left, top, width, height);
}

void CentreOnScreen(QWidget* w)
{
  QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  // Windows keep their designed size; only the position is chosen here.
  QRect frame = w->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  w->move(frame.topLeft());
}

} // namespace dz
