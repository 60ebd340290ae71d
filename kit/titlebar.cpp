#include "titlebar.h"

#include "uikit.h"

#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

namespace dz {

TitleBar::TitleBar(QWidget* window) : QWidget(window)
{
  setObjectName(QStringLiteral("dzTitleBar"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Window).darker(112));
  setPalette(pal);
  auto button = [this](QStyle::StandardPixmap icon, const char* name) {
    auto* b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(style()->standardIcon(icon, nullptr, this));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(kHeight - 4, kHeight - 4);
    return b;
  };
  if (window->windowFlags() & Qt::WindowMinimizeButtonHint) {
    m_minimise = button(QStyle::SP_TitleBarMinButton, "dzMinimise");
    connect(m_minimise, &QToolButton::clicked, window, &QWidget::showMinimized);
  }
  m_close = button(QStyle::SP_TitleBarCloseButton, "dzClose");
  connect(m_close, &QToolButton::clicked, window, &QWidget::close);
  // The caption follows the window's title; the bar its width.
  window->installEventFilter(this);
  LayOut();
}

void TitleBar::LayOut()
{
  setGeometry(0, 0, parentWidget()->width(), kHeight);
  int right = width() - 2;
  for (QToolButton* b : {m_close, m_minimise}) {
    if (b == nullptr)
      continue;
    right -= b->width();
    b->move(right, 2);
    right -= 2;
  }
}

Qt::Edges TitleBar::EdgesAt(QPoint pos) const
{
  constexpr int kGrip = 6;
  const QWidget* window = parentWidget();
  Qt::Edges edges;
  if (pos.x() < kGrip)
    edges |= Qt::LeftEdge;
  if (pos.x() >= window->width() - kGrip)
    edges |= Qt::RightEdge;
  if (pos.y() >= window->height() - kGrip)
    edges |= Qt::BottomEdge;
  return edges;
}

bool TitleBar::eventFilter(QObject* watched, QEvent* event)
{
  if (watched == parentWidget() && m_resizable) {
    // A window without the compositor's frame is resized from its edges here.
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const Qt::Edges edges = EdgesAt(mouse->position().toPoint());
      if (event->type() == QEvent::MouseButtonPress && edges && mouse->button() == Qt::LeftButton &&
          parentWidget()->windowHandle() != nullptr) {
        parentWidget()->windowHandle()->startSystemResize(edges);
        return true;
      }
      const bool corner = (edges & Qt::BottomEdge) && (edges & (Qt::LeftEdge | Qt::RightEdge));
      parentWidget()->setCursor(corner ? ((edges & Qt::LeftEdge) ? Qt::SizeBDiagCursor : Qt::SizeFDiagCursor)
                                : (edges & Qt::BottomEdge) ? Qt::SizeVerCursor
                                : edges                    ? Qt::SizeHorCursor
                                                           : Qt::ArrowCursor);
    }
  }
  if (watched == parentWidget()) {
    if (event->type() == QEvent::Resize)
      LayOut();
    else if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::ActivationChange)
      update();
  }
  return QWidget::eventFilter(watched, event);
}

void TitleBar::paintEvent(QPaintEvent*)
{
  QPainter painter(this);
  QWidget* window = parentWidget();
  const int buttons = (m_minimise ? 2 : 1) * kHeight;
  int left = 6;
  const QIcon icon = window->windowIcon();
  if (!icon.isNull()) {
    icon.paint(&painter, QRect(left, 3, kHeight - 6, kHeight - 6));
    left += kHeight;
  }
  QFont font = painter.font();
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(palette().color(window->isActiveWindow() ? QPalette::Active : QPalette::Inactive, QPalette::WindowText));
  const QRect text(left, 0, width() - left - buttons, height());
  painter.drawText(text, Qt::AlignCenter, painter.fontMetrics().elidedText(window->windowTitle(), Qt::ElideRight, text.width()));
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawLine(0, height() - 1, width(), height() - 1);
}

void TitleBar::mousePressEvent(QMouseEvent* event)
{
  if (event->button() == Qt::LeftButton && window()->windowHandle() != nullptr) {
    window()->windowHandle()->startSystemMove();
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

TitleBar* AddOwnTitleBar(QWidget* window)
{
  auto* box = qobject_cast<QMessageBox*>(window);
  const bool fixed = box != nullptr || (window->minimumSize() == window->maximumSize());
  // A window that may be resized but asks for no maximise (nor minimise)
  // gets the bar too: Qt's own would offer both.
  const Qt::WindowFlags flags = window->windowFlags();
  const bool closeOnly = (flags & Qt::CustomizeWindowHint) &&
                         !(flags & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
  if (!window->isWindow() || !(fixed || closeOnly) ||
      window->findChild<QWidget*>(QStringLiteral("dzTitleBar"), Qt::FindDirectChildrenOnly) != nullptr)
    return nullptr;
  const int h = TitleBar::kHeight;
  QMargins margins = window->contentsMargins();
  margins.setTop(margins.top() + h);
  window->setContentsMargins(margins);
  QLayout* layout = window->layout();
  if (layout == nullptr) {
    // Controls placed by hand move down with the bar.
    for (QWidget* child : window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
      if (!child->isWindow())
        child->move(child->x(), child->y() + h);
  }
  // A fixed layout and a message box size themselves around the margin.
  if (!fixed)
    window->resize(window->width(), window->height() + h);
  else if (box == nullptr && !(layout != nullptr && layout->sizeConstraint() == QLayout::SetFixedSize))
    window->setFixedSize(window->width(), window->height() + h);
  const Qt::WindowFlags frameless = window->windowFlags() | Qt::FramelessWindowHint;
  window->overrideWindowFlags(frameless);
  if (QWindow* native = window->windowHandle())
    native->setFlags(frameless);
  auto* bar = new TitleBar(window);
  if (!fixed) {
    bar->m_resizable = true;
    window->setMouseTracking(true);
  }
  bar->show();
  bar->raise();
  return bar;
}

namespace {

// Adds the bar as a window is shown: the native window exists then, and the
// compositor has not yet been told about its frame.
class OwnTitleBars : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override
  {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
      auto* w = static_cast<QWidget*>(watched);
      if (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog)
        AddOwnTitleBar(w);
    }
    return QObject::eventFilter(watched, event);
  }
};

} // namespace

void UseOwnTitleBarsOnWayland()
{
  if (OnWayland() && qApp != nullptr)
    qApp->installEventFilter(new OwnTitleBars(qApp));
}

} // namespace dz
