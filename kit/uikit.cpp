#include "uikit.h"

#include <QDir>
#include <QFileInfo>
#include <QEvent>
#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPointer>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QWindow>
#include <QStandardPaths>

namespace dz {

namespace {

void ShowFormNow(QWidget* form)
{
  // Windows are centred when first shown; later the user's placement stays.
  if (!form->property("dzShownOnce").toBool()) {
    form->setProperty("dzShownOnce", true);
    CentreOnScreen(form);
  }
  // A Wayland client cannot raise its windows or bring a minimised one
  // back, and few compositors grant a request for the focus (weston does
  // not); but every one puts a window it maps anew in front. So a window
  // open behind another, or minimised, is mapped again; the compositor
  // places it, as it places every window. One that is hidden (a minimised
  // window that was closed meanwhile) is simply shown: hiding it again as it
  // first maps would leave it unmapped, and the press without effect.
  const bool open = form->isVisible();
  if (OnWayland() && open && (form->isMinimized() || !form->isActiveWindow()))
    form->hide();
  if (form->isMinimized())
    form->showNormal();
  form->show();
  form->raise();
  form->activateWindow();
}


// Runs `then` once, as soon as the events have been handled of the first
// activation that `accepts` (so after what the activated window does), or
// after a short wait when none comes.
void AfterActivation(std::function<bool(QWindow*)> accepts, std::function<void()> then)
{
  auto* context = new QObject(qApp);
  auto run = [context, then = std::move(then)] {
    if (context->property("done").toBool())
      return;
    context->setProperty("done", true);
    context->deleteLater();
    then();
  };
  QObject::connect(qApp, &QGuiApplication::focusWindowChanged, context,
                   [context, run, accepts = std::move(accepts)](QWindow* now) {
                     if (accepts(now))
                       QTimer::singleShot(0, context, run);
                   });
  QTimer::singleShot(300, context, run);
}

// Whether a window of the program is on the screen that a click could have
// come from.
bool AnyWindowShown()
{
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && !w->isMinimized() && w->windowHandle() != nullptr && w->windowHandle()->isExposed() &&
        w->windowType() != Qt::ToolTip && w->windowType() != Qt::Popup)
      return true;
  return false;
}

} // namespace

void ShowForm(QWidget* form)
{
  if (!form)
    return;
  // Under Wayland a click may reach a window before the compositor makes it
  // the active one (after a window of the program was minimised, none is);
  // its activation follows the click, and what a window does on activation
  // (the main window closes the chart) would undo this show. So the show
  // waits for that activation, briefly.
  if (OnWayland() && QGuiApplication::focusWindow() == nullptr && AnyWindowShown()) {
    QPointer<QWidget> pending(form);
    AfterActivation([](QWindow* now) { return now != nullptr; }, [pending] {
      if (pending)
        ShowFormNow(pending);
    });
    return;
  }
  ShowFormNow(form);
}

void WhenActive(QWidget* window, std::function<void()> then)
{
  if (!OnWayland() || window == nullptr || window->isActiveWindow()) {
    then();
    return;
  }
  QPointer<QWidget> target(window);
  AfterActivation([target](QWindow* now) { return now != nullptr && target && now == target->windowHandle(); },
                  std::move(then));
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

namespace {

// The smallest size from `base` on that is a whole number of device pixels.
int WholeAt(int base, qreal ratio)
{
  for (int size = base; size < base + 8; ++size) {
    const qreal device = size * ratio;
    if (qAbs(device - qRound(device)) < 0.01)
      return size;
  }
  return base;
}

class RowKeeper : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override
  {
    if (event->type() == QEvent::Show || event->type() == QEvent::ScreenChangeInternal) {
      auto* view = static_cast<QTableView*>(watched);
      const qreal ratio = view->devicePixelRatioF();
      const int rows = view->property("dzRowHeight").toInt();
      view->verticalHeader()->setDefaultSectionSize(WholeAt(rows, ratio));
      QHeaderView* top = view->horizontalHeader();
      const int header = top->sizeHint().height();
      if (!top->isHidden())
        top->setFixedHeight(WholeAt(header, ratio));
    }
    return false;
  }
};

} // namespace

void KeepRowsWhole(QTableView* view)
{
  static QPointer<RowKeeper> keeper;
  if (keeper.isNull())
    keeper = new RowKeeper(qApp);
  view->setProperty("dzRowHeight", view->verticalHeader()->defaultSectionSize());
  view->installEventFilter(keeper);
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
