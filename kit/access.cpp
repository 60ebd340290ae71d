#include "access.h"

#include "tableaccess.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTextDocumentFragment>
#include <QToolButton>

namespace dz {

namespace {

constexpr const char* kWindowProperty = "dzAccessibleWindow";
constexpr const char* kDecorativeProperty = "dzDecorative";

// A picture that says nothing: present, but never shown to a screen reader.
class DecorativeInterface : public QAccessibleWidget {
public:
  explicit DecorativeInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::Graphic) {}
  QAccessible::State state() const override
  {
    QAccessible::State s = QAccessibleWidget::state();
    s.invisible = true;
    return s;
  }
};

QAccessibleInterface* Interfaces(const QString& className, QObject* object)
{
  if (object == nullptr || !object->isWidgetType())
    return nullptr;
  // Asked once per class of the object, the most derived first: answer only
  // that first question, so that nothing depends on the order of the others.
  if (className != QLatin1String(object->metaObject()->className()))
    return nullptr;
  auto* w = static_cast<QWidget*>(object);
  if (QAccessibleInterface* table = ReadOnlyTableInterface(object))
    return table;
  if (w->property(kDecorativeProperty).toBool())
    return new DecorativeInterface(w);
  if (w->property(kWindowProperty).toBool())
    return new QAccessibleWidget(w, qobject_cast<QDialog*>(w) ? QAccessible::Dialog : QAccessible::Window);
  return nullptr;
}

// Tab and Backtab with Ctrl leave a table as they do without it.
class TabLeaver : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override
  {
    if (event->type() != QEvent::KeyPress)
      return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)
      return false;
    // A date field moves on to the next control from its last part only.
    if (auto* date = qobject_cast<QDateTimeEdit*>(watched)) {
      const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
      date->setCurrentSectionIndex(back ? 0 : date->sectionCount() - 1);
    }
    if (!(key->modifiers() & Qt::ControlModifier))
      return false;
    QKeyEvent plain(QEvent::KeyPress, key->key(), key->modifiers() & ~Qt::ControlModifier);
    QCoreApplication::sendEvent(watched, &plain);
    return true;
  }
};

// A ring drawn around the control with the keyboard focus, over whatever
// background lies there (the main window's photograph included): white
// outside, the program's blue inside.
class FocusRing : public QWidget {
public:
  static constexpr int kWidth = 3;

  FocusRing()
  {
    setObjectName(QStringLiteral("dzFocusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    MarkDecorative(this);
    hide();
  }

  void Follow(QWidget* target)
  {
    if (m_target)
      m_target->removeEventFilter(this);
    m_target = target;
    if (m_target)
      m_target->installEventFilter(this);
    Place();
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override
  {
    if (watched == m_target) {
      switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
      case QEvent::ParentChange:
        Place();
        break;
      default:
        break;
      }
    }
    return false;
  }

  void paintEvent(QPaintEvent*) override
  {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.fillRect(rect().adjusted(1, 1, -1, -1), QColor(0, 0, 160));
  }

private:
  void Place()
  {
    QWidget* target = m_target;
    if (target == nullptr || target->isWindow() || !target->isVisible() || target->parentWidget() == nullptr) {
      hide();
      return;
    }
    if (parentWidget() != target->parentWidget())
      setParent(target->parentWidget());
    // Whole also for a control at the edge of its parent: there the ring
    // lies on the control's own edge.
    setGeometry(target->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth) & parentWidget()->rect());
    // Only the ring itself: the control inside stays as it draws itself.
    QRegion ring(rect());
    ring -= rect().adjusted(kWidth, kWidth, -kWidth, -kWidth);
    setMask(ring);
    raise();
    show();
  }

  QPointer<QWidget> m_target;
};

// The control a user sees as focused: the spin box, combo box or scrolling
// view around the inner field that holds the focus.
QWidget* FocusedControl(QWidget* w)
{
  while (w != nullptr && !w->isWindow()) {
    QWidget* parent = w->parentWidget();
    if (qobject_cast<QAbstractSpinBox*>(parent) || qobject_cast<QComboBox*>(parent) ||
        (qobject_cast<QAbstractScrollArea*>(parent) &&
         static_cast<QAbstractScrollArea*>(parent)->viewport() == w))
      w = parent;
    else
      break;
  }
  return w;
}

class Aids : public QObject {
public:
  explicit Aids(QObject* parent) : QObject(parent)
  {
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusMoved(now); });
  }

protected:
  // Return and Enter press a focused button outside dialogs too, as users of
  // the other desktop this program comes from expect.
  bool eventFilter(QObject* watched, QEvent* event) override
  {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
      auto* key = static_cast<QKeyEvent*>(event);
      auto* button = qobject_cast<QAbstractButton*>(watched);
      if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
          (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && button->hasFocus() &&
          button->isEnabled() && (qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button)) &&
          qobject_cast<QDialog*>(button->window()) == nullptr) {
        button->animateClick();
        return true;
      }
    }
    return false;
  }

private:
  void FocusMoved(QWidget* now)
  {
    if (m_ring.isNull())
      m_ring = new FocusRing;
    // The program's own windows; Qt's dialogs and message boxes show the
    // focus their own way, and the menu bar highlights its menu.
    QWidget* control = FocusedControl(now);
    if (control != nullptr) {
      QWidget* window = control->window();
      if (qobject_cast<QMenuBar*>(control) || qobject_cast<QMessageBox*>(window) ||
          qobject_cast<QFileDialog*>(window) || window->inherits("QAbstractPrintDialog"))
        control = nullptr;
    }
    m_ring->Follow(control);
  }

  QPointer<FocusRing> m_ring;
};

// With a screen reader running, Qt makes a widget's interface as soon as it
// is created (or given a model): drop it, so that the next one asked for
// follows what was just marked.
void Requery(QObject* object)
{
  if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(object))
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

} // namespace

void UseKeyboardAndScreenReaderAids()
{
  static bool installed = false;
  if (installed || qApp == nullptr)
    return;
  installed = true;
  QAccessible::installFactory(Interfaces);
  qApp->installEventFilter(new Aids(qApp));
}

namespace {

TabLeaver* Leaver()
{
  static QPointer<TabLeaver> leaver;
  if (leaver.isNull())
    leaver = new TabLeaver(qApp);
  return leaver;
}

} // namespace

void LetTabLeave(QAbstractItemView* view)
{
  view->setTabKeyNavigation(false);
  view->installEventFilter(Leaver());
}

void LetTabLeave(QDateTimeEdit* edit)
{
  edit->installEventFilter(Leaver());
}

void ExposeAsReadOnlyTable(QTableView* view)
{
  MarkReadOnlyTable(view);
  Requery(view);
}

void MakeAccessibleWindow(QWidget* window, const QString& description)
{
  window->setProperty(kWindowProperty, true);
  Requery(window);
  if (!description.isEmpty())
    window->setAccessibleDescription(description);
}

void MarkDecorative(QWidget* picture)
{
  picture->setProperty(kDecorativeProperty, true);
  Requery(picture);
}

void DescribeMessageBox(QMessageBox& box)
{
  auto plain = [](const QString& text) {
    return Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
  };
  QString description = plain(box.text());
  if (!box.informativeText().isEmpty())
    description += QLatin1Char('\n') + plain(box.informativeText());
  box.setAccessibleDescription(description);
}

} // namespace dz
