#include "uikit.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

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
  // A Wayland client cannot raise its windows, and few compositors grant a
  // request for the focus (weston does not); but every one puts a window it
  // maps anew in front. So a window already open behind another is mapped
  // again; the compositor places it, as it places every window.
  if (OnWayland() && form->isVisible() && !form->isActiveWindow())
    form->hide();
  form->show();
  form->raise();
  form->activateWindow();
}

void BringToFront(QWidget* form)
{
  if (!form)
    return;
  if (form->isMinimized() || !form->isVisible()) {
    ShowForm(form);
    return;
  }
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

namespace {

QString& LastSaveFolder()
{
  static QString folder;
  return folder;
}

} // namespace

QString SaveFolder()
{
  if (!LastSaveFolder().isEmpty() && QFileInfo(LastSaveFolder()).isDir())
    return LastSaveFolder();
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir())
    return documents;
  return QDir::homePath();
}

void RememberSaveFolder(const QString& savedFile)
{
  LastSaveFolder() = QFileInfo(savedFile).absolutePath();
}

QString NewFileName(const QString& stem, const QString& suffix)
{
  const QDir folder(SaveFolder());
  QString name = stem + QLatin1Char('.') + suffix;
  for (int n = 2; folder.exists(name); ++n)
    name = QStringLiteral("%1-%2.%3").arg(stem).arg(n).arg(suffix);
  return folder.filePath(name);
}

bool OnWayland()
{
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void CentreOnScreen(QWidget* w, ScreenArea area)
{
  // A Wayland client neither knows nor sets where its windows are.
  if (OnWayland())
    return;
  QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  // Windows keep their designed size; only the position is chosen here.
  QRect frame = w->frameGeometry();
  frame.moveCenter(area == ScreenArea::Desktop ? screen->virtualGeometry().center()
                                               : screen->availableGeometry().center());
  w->move(frame.topLeft());
}

void SetFixedFrame(QWidget* w, bool minimiseButton)
{
  // Without CustomizeWindowHint Qt adds a maximise button of its own accord;
  // a window manager then offers a maximise that cannot work.
  Qt::WindowFlags flags = (w->windowFlags() & Qt::WindowType_Mask) | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (minimiseButton)
    flags |= Qt::WindowMinimizeButtonHint;
  w->setWindowFlags(flags);
}

} // namespace dz
