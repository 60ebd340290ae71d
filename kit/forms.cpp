#include "forms.h"

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;
TForm5* Form5 = nullptr;
TForm6* Form6 = nullptr;
TForm7* Form7 = nullptr;
TForm8* Form8 = nullptr;
TForm9* Form9 = nullptr;
TForm10* Form10 = nullptr;
Tform11* form11 = nullptr;
TForm12* Form12 = nullptr;
TForm13* Form13 = nullptr;
TForm14* Form14 = nullptr;
TForm15* Form15 = nullptr;
TForm16* Form16 = nullptr;
TForm17* Form17 = nullptr;
TForm18* Form18 = nullptr;
TForm19* Form19 = nullptr;

#include <QApplication>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QWidget>

namespace dz {

namespace {

QList<QPointer<QWidget>>& Registered()
{
  static QList<QPointer<QWidget>> forms;
  return forms;
}

// Follows which of the program's windows was active last. As an application
// event filter it sees a WindowActivate before the window itself does.
class ActivationTracker : public QObject {
public:
  using QObject::QObject;
  QPointer<QWidget> Last;
  QPointer<QWidget> Before;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override
  {
    if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
      auto* w = static_cast<QWidget*>(watched);
      if (w->isWindow() && IsProgramForm(w)) {
        Before = Last;
        Last = w;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

ActivationTracker* Tracker()
{
  static QPointer<ActivationTracker> tracker;
  if (tracker.isNull() && qApp != nullptr) {
    tracker = new ActivationTracker(qApp);
    qApp->installEventFilter(tracker);
  }
  return tracker;
}

} // namespace

void RegisterForm(QWidget* form)
{
  Tracker();
  // Windows made for one use (the port setup dialog) come and go.
  Registered().removeAll(QPointer<QWidget>());
  Registered().append(form);
}

bool ActivatedFromAnotherForm(const QWidget* form, const QWidget* except)
{
  const ActivationTracker* t = Tracker();
  if (t == nullptr || t->Last != form)
    return false;
  // Before is what was active until this activation: nobody (start-up),
  // another form, or the same form again after a box or another application.
  const QWidget* before = t->Before;
  return before != form && (except == nullptr || before != except);
}

void TakeOverActivation(QWidget* form)
{
  if (ActivationTracker* t = Tracker()) {
    t->Before = form;
    t->Last = form;
  }
}

bool IsProgramForm(const QWidget* w)
{
  for (const QPointer<QWidget>& f : Registered())
    if (f && f.data() == w)
      return true;
  return false;
}

} // namespace dz
