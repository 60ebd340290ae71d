#pragma once

// Helpers shared by the tests: a logger simulator process, and watchers that
// answer the program's modal windows while a test drives the window.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QMessageBox>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace dztest {

// A four-line value word as the logger sends it.
inline std::string Word(int w)
{
  const int rest = w % 256;
  return std::to_string(w / 256) + "\r\n" + std::to_string(rest / 100) + "\r\n" + std::to_string(rest / 10 % 10) +
         "\r\n" + std::to_string(rest % 10) + "\r\n";
}

// A full one-channel card (1024 words, 4096 lines) with word n = f(n).
template <typename F>
std::string OneChannelCard(F f)
{
  std::string card;
  for (int n = 1; n <= 1024; ++n)
    card += Word(f(n));
  return card;
}

// The cell text of an LM35 word, (W - 240) / 10 with one decimal, worked out
// on whole tenths.
inline QString Lm35Text(int w)
{
  const int tenths = w - 240;
  const QString sign = tenths < 0 ? QStringLiteral("-") : QString();
  return QStringLiteral("%1%2,%3").arg(sign).arg(std::abs(tenths) / 10).arg(std::abs(tenths) % 10);
}


// Waits (from the event loop of whatever modal window is running) for a modal
// window of type T and runs `action` on it once. Fired() tells whether it came.
template <class T>
class OnModal {
public:
  explicit OnModal(std::function<void(T*)> action) : m_timer(std::make_unique<QTimer>())
  {
    m_timer->setInterval(10);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this, action = std::move(action)] {
      T* w = qobject_cast<T*>(QApplication::activeModalWidget());
      if (w == nullptr || !w->isVisible())
        return;
      m_timer->stop();
      m_fired = true;
      action(w);
    });
    m_timer->start();
  }
  bool Fired() const { return m_fired; }

private:
  std::unique_ptr<QTimer> m_timer;
  bool m_fired = false;
};

// Answers the save dialog with a typed name (as a user types it).
inline OnModal<QFileDialog>* TypeName(const QString& name)
{
  return new OnModal<QFileDialog>([name](QFileDialog* d) {
    // Its activation first: one still on its way when the dialog closes would
    // make the closed dialog the active window afterwards. (A dialog counts
    // as active while its parent is, so ask for the focus window itself.) One
    // that never gets the focus is answered all the same.
    (void)QTest::qWaitFor([d] { return QGuiApplication::focusWindow() == d->windowHandle(); });
    auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit != nullptr);
    // A file the dialog selected in its list (the last name offered again,
    // once the folder has loaded) wins over the typed name unless the name
    // field has the focus, which a busy machine may not have given it yet.
    for (auto* view : d->findChildren<QAbstractItemView*>())
      view->clearSelection();
    edit->setText(name);
    QMetaObject::invokeMethod(d, "accept");
  });
}

// Runs vexa-logger-sim and knows the device path it printed first.
class Simulator {
public:
  ~Simulator() { Stop(); }

  QString Start(const QStringList& args)
  {
    m_process.setProgram(QStringLiteral(DZ_SIM_PATH));
    m_process.setArguments(args);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(10000))
      return {};
    while (!m_process.canReadLine())
      if (!m_process.waitForReadyRead(10000))
        return {};
    m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    return m_path;
  }

  void Stop()
  {
    if (m_process.state() == QProcess::NotRunning)
      return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
      m_process.kill();
      m_process.waitForFinished(5000);
    }
  }

  void Kill()
  {
    m_process.kill();
    m_process.waitForFinished(5000);
  }

  QString Path() const { return m_path; }
  QProcess& Process() { return m_process; }

private:
  QProcess m_process;
  QString m_path;
};

// Answers every modal message box that appears (with its default button, or
// with the button given) and keeps the texts they showed.
class MessageBoxWatcher : public QObject {
public:
  explicit MessageBoxWatcher(QMessageBox::StandardButton answer = QMessageBox::NoButton) : m_answer(answer)
  {
    connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
    m_timer.start(10);
  }

  QStringList Texts;
  QStringList Captions;
  QStringList Details; // the informative texts

private:
  void Poll()
  {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
      return;
    Texts << box->text();
    Captions << box->windowTitle();
    Details << box->informativeText();
    QAbstractButton* button = m_answer == QMessageBox::NoButton ? nullptr : box->button(m_answer);
    if (!button)
      button = box->defaultButton() ? static_cast<QAbstractButton*>(box->defaultButton()) : box->buttons().value(0);
    if (button)
      button->click();
    else
      box->done(0);
  }

  QMessageBox::StandardButton m_answer;
  QTimer m_timer;
};

} // namespace dztest
