#include "uikit.h"

namespace dz {

void ShowForm(QWidget* form)
{
  if (!form)
    return;
  if (form->isMinimized())
    form->showNormal();
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

} // namespace dz
