// The port setup dialog, offscreen, and the list of serial devices it offers.

#include "comsetup.h"
#include "portlist.h"
#include "portsdir.h"
#include "ptypair.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <memory>

using serialtest::PtyPair;

namespace {

// A pseudo-terminal registered as the simulator registers its port.
struct RegisteredPort {
  PtyPair pty;
  QString link;
  explicit RegisteredPort(const QString& name)
  {
    const QString dir = QString::fromStdString(dz::SimulatorPortsDirectory());
    QDir().mkpath(dir);
    link = dir + "/" + name;
    QFile::remove(link);
    QFile::link(QString::fromStdString(pty.Path()), link);
  }
  ~RegisteredPort() { QFile::remove(link); }
};

// Drives the next modal dialog: finds it, lets the test act, then presses a button.
void WhenDialogShows(std::function<void(TComSetupFrm*)> act, bool ok)
{
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act, ok] {
    auto* dialog = dynamic_cast<TComSetupFrm*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible())
      return;
    timer->stop();
    timer->deleteLater();
    act(dialog);
    QTest::mouseClick(ok ? dialog->Button1 : dialog->Button2, Qt::LeftButton);
  });
  timer->start();
}

// Picks an entry the way a user does, with the keyboard.
void Pick(TComComboBox* combo, const QString& text)
{
  const int target = combo->findText(text);
  QVERIFY2(target >= 0, qPrintable(text));
  for (int guard = 0; combo->currentIndex() != target && guard < 100; ++guard)
    QTest::keyClick(combo, combo->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
  QCOMPARE(combo->currentIndex(), target);
}

void SetUpLikeMainWindow(TCustomComPort& p, const QString& port)
{
  p.SetName("ComPort");
  p.SetPort(port.toStdString());
  p.SetBaudRate(br1200);
  p.SetDiscardNull(true);
  p.FlowControl().SetControlDTR(dtrEnable);
}

} // namespace

class TestComSetup : public QObject {
  Q_OBJECT

  QTemporaryDir m_runtime;

private slots:
  void initTestCase()
  {
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    QCOMPARE(QString::fromStdString(dz::SimulatorPortsDirectory()), m_runtime.path() + "/dedizivi-ports");
  }

  void layout()
  {
    TComSetupFrm dialog;
    QCOMPARE(dialog.windowTitle(), QString("Setup"));
    QCOMPARE(dialog.size(), QSize(231, 216));
    QCOMPARE(dialog.GroupBox1->title(), QString(" Settings "));
    QCOMPARE(dialog.GroupBox1->geometry(), QRect(8, 8, 217, 169));
    const QLabel* labels[] = {dialog.Label1, dialog.Label2, dialog.Label3, dialog.Label4, dialog.Label5, dialog.Label6};
    const char* captions[] = {"Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"};
    TComComboBox* combos[] = {dialog.Combo1, dialog.Combo2, dialog.Combo3, dialog.Combo4, dialog.Combo5, dialog.Combo6};
    const int entries[] = {-1, 16, 4, 3, 5, 4};
    for (int i = 0; i < 6; ++i) {
      QCOMPARE(labels[i]->text(), QString(captions[i]));
      QCOMPARE(labels[i]->pos(), QPoint(8, 24 + 24 * i));
      QCOMPARE(combos[i]->geometry(), QRect(80, 16 + 24 * i, 129, 21));
      QCOMPARE(combos[i]->parentWidget(), dialog.GroupBox1);
      QCOMPARE(labels[i]->buddy(), static_cast<QWidget*>(combos[i])); // what a screen reader names it by
      QVERIFY(!combos[i]->isEditable());
      if (entries[i] >= 0)
        QCOMPARE(combos[i]->count(), entries[i]);
    }
    QCOMPARE(dialog.Combo2->itemText(0), QString("Custom"));
    QCOMPARE(dialog.Combo6->itemText(3), QString("Custom"));
    QCOMPARE(dialog.Button1->text(), QString("OK"));
    QCOMPARE(dialog.Button1->geometry(), QRect(70, 184, 75, 25));
    QVERIFY(dialog.Button1->isDefault());
    QCOMPARE(dialog.Button2->text(), QString("Cancel"));
    QCOMPARE(dialog.Button2->geometry(), QRect(150, 184, 75, 25));
    // Tab order: the six lists, then OK and Cancel.
    auto nextTab = [](QWidget* w) {
      do
        w = w->nextInFocusChain();
      while (!(w->focusPolicy() & Qt::TabFocus));
      return w;
    };
    QWidget* expected[] = {dialog.Combo2, dialog.Combo3, dialog.Combo4, dialog.Combo5,
                           dialog.Combo6, dialog.Button1, dialog.Button2};
    QWidget* w = dialog.Combo1;
    for (QWidget* next : expected)
      QCOMPARE(w = nextTab(w), next);
  }

  void listsTheDevicesPresent()
  {
    RegisteredPort alive(dz::SimulatorLinkName(::getpid()).c_str());
    RegisteredPort custom("Zeta-logger");
    RegisteredPort lower("alpha-logger");
    const pid_t child = ::fork();
    if (child == 0)
      ::_exit(0);
    ::waitpid(child, nullptr, 0);
    RegisteredPort dead(dz::SimulatorLinkName(child).c_str());
    const QString dir = QString::fromStdString(dz::SimulatorPortsDirectory());
    QFile::link("/etc/hostname", dir + "/not-a-device");
    QFile::link(dir + "/nowhere", dir + "/dangling");

    QStringList list{"stale entry"};
    ListSerialPorts(list);
    QVERIFY(!list.contains("stale entry"));
    QVERIFY(list.contains(alive.link));
    QVERIFY(list.contains(custom.link));
    QVERIFY(!list.contains(dead.link));
    QVERIFY(!list.contains(dir + "/not-a-device"));
    QVERIFY(!list.contains(dir + "/dangling"));
    QVERIFY(list.indexOf(lower.link) < list.indexOf(custom.link)); // letter case ignored
    for (int i = 1; i < list.size(); ++i)
      QVERIFY(list[i - 1].compare(list[i], Qt::CaseInsensitive) <= 0);

    // Every name on the list is one the port opens.
    TComPort port;
    port.SetEvents({});
    port.SetPort(alive.link.toStdString());
    port.OpenPort();
    port.ClosePort();
    QFile::remove(dir + "/not-a-device");
    QFile::remove(dir + "/dangling");
  }

  void okWritesThePicks()
  {
    RegisteredPort a("port-a"), b("port-b");
    TComPort port;
    SetUpLikeMainWindow(port, a.link);
    WhenDialogShows([&](TComSetupFrm* d) {
      QCOMPARE(d->Combo1->currentText(), a.link);
      QCOMPARE(d->Combo2->currentText(), QString("1200"));
      QCOMPARE(d->Combo6->currentText(), QString("None"));
      Pick(d->Combo1, b.link);
      Pick(d->Combo2, "Custom");
      Pick(d->Combo3, "7");
      Pick(d->Combo4, "1.5");
      Pick(d->Combo5, "Even");
      Pick(d->Combo6, "Software");
    }, true);
    RunSetupDialog(port);
    QCOMPARE(QString::fromStdString(port.Port()), b.link);
    QCOMPARE(port.BaudRate(), brCustom);
    QCOMPARE(port.CustomBaudRate(), 9600);
    QCOMPARE(port.DataBits(), dbSeven);
    QCOMPARE(port.StopBits(), sbOne5StopBits);
    QCOMPARE(port.Parity().Bits(), prEven);
    QCOMPARE(port.FlowControl().FlowControl(), fcSoftware);
    QCOMPARE(port.FlowControl().ControlDTR(), dtrEnable);
  }

  void cancelChangesNothing()
  {
    RegisteredPort a("port-a"), b("port-b");
    TComPort port;
    SetUpLikeMainWindow(port, a.link);
    WhenDialogShows([&](TComSetupFrm* d) {
      Pick(d->Combo1, b.link);
      Pick(d->Combo2, "19200");
      Pick(d->Combo5, "Odd");
      Pick(d->Combo6, "Hardware");
    }, false);
    RunSetupDialog(port);
    QCOMPARE(QString::fromStdString(port.Port()), a.link);
    QCOMPARE(port.BaudRate(), br1200);
    QCOMPARE(port.Parity().Bits(), prNone);
    QCOMPARE(port.FlowControl().FlowControl(), fcNone);
  }

  void letterCaseAndCustomFlow()
  {
    RegisteredPort a("port-a");
    TComPort port;
    SetUpLikeMainWindow(port, a.link.toUpper());
    port.FlowControl().SetControlRTS(rtsEnable); // no shortcut fits: "Custom"
    std::string portChangedTo;
    WhenDialogShows([&](TComSetupFrm* d) {
      QCOMPARE(d->Combo1->currentText(), a.link);
      QCOMPARE(d->Combo6->currentText(), QString("Custom"));
    }, true);
    RunSetupDialog(port);
    QCOMPARE(QString::fromStdString(port.Port()), a.link); // written as listed
    QCOMPARE(port.FlowControl().ControlRTS(), rtsEnable);  // "Custom" changes nothing
  }

  void absentPortIsKeptEmptyPortStaysEmpty()
  {
    TComPort port;
    SetUpLikeMainWindow(port, "COM77");
    WhenDialogShows([&](TComSetupFrm* d) {
      QCOMPARE(d->Combo1->currentText(), QString("COM77")); // offered although not present
      Pick(d->Combo2, "2400");
    }, true);
    RunSetupDialog(port);
    QCOMPARE(port.Port(), std::string("COM77"));
    QCOMPARE(port.BaudRate(), br2400);

    TComPort first;
    SetUpLikeMainWindow(first, "");
    WhenDialogShows([&](TComSetupFrm* d) {
      QCOMPARE(d->Combo1->currentIndex(), -1);
      QVERIFY(d->Combo1->Text().empty());
    }, true);
    RunSetupDialog(first);
    QCOMPARE(first.Port(), std::string());
  }

  void okWhileOpenAppliesOnceOrReopens()
  {
    RegisteredPort a("port-a"), b("port-b");
    TComPort port;
    SetUpLikeMainWindow(port, a.link);
    QStringList log;
    port.OnAfterOpen = [&](TCustomComPort*) { log << "open"; };
    port.OnAfterClose = [&](TCustomComPort*) { log << "close"; };
    port.OpenPort();
    log.clear();
    WhenDialogShows([&](TComSetupFrm* d) { Pick(d->Combo4, "2"); }, true);
    RunSetupDialog(port);
    QVERIFY(log.isEmpty());
    termios t{};
    QCOMPARE(tcgetattr(a.pty.Slave(), &t), 0);
    QVERIFY(t.c_cflag & CSTOPB);

    WhenDialogShows([&](TComSetupFrm* d) { Pick(d->Combo1, b.link); }, true);
    RunSetupDialog(port);
    QCOMPARE(log, QStringList({"close", "open"}));
    QCOMPARE(port.WriteText("b"), 1);
    QCOMPARE(b.pty.Received(), QByteArray("b"));
    port.ClosePort();
  }

  void comboBoxRules()
  {
    TComComboBox combo;
    combo.SetComProperty(cpParity);
    QCOMPARE(combo.Text(), std::string("None")); // no port: the first entry
    combo.SetText("even");
    QCOMPARE(combo.Text(), std::string("Even"));
    combo.SetText("nonsense");
    QCOMPARE(combo.Text(), std::string("Even"));
    QCOMPARE(combo.Select().Parity, prNone); // picks in code are no choice

    auto port = std::make_unique<TComPort>();
    port->Parity().SetBits(prMark);
    combo.SetComPort(port.get());
    QCOMPARE(combo.Text(), std::string("Mark"));
    QCOMPARE(combo.Select().Parity, prMark);

    combo.SetAutoApply(true);
    Pick(&combo, "Space");
    QCOMPARE(port->Parity().Bits(), prSpace); // applied at once

    port.reset();
    QCOMPARE(combo.ComPort(), nullptr);
    QCOMPARE(combo.currentIndex(), 0);
  }
};

QTEST_MAIN(TestComSetup)
#include "tst_comsetup.moc"
