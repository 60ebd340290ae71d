// The port engine against real pseudo-terminals.

#include "comport.h"
#include "portlist.h"
#include "procstate.h"
#include "ptypair.h"

#include <QFileInfo>
#include <QProcess>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdarg>
#include <mutex>

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/ioctl.h>

using serialtest::PtyPair;

// The kernel's termios with exact rates, which the C library's headers leave out.
struct termios2 {
  tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed, c_ospeed;
};

namespace {
std::mutex g_lineMutex;
termios2 g_lineAsked{};
} // namespace

// Every ioctl of this process passes here on its way to the C library's. A
// pseudo-terminal keeps the rate, stop bits, parity kind and flow control that
// the port sets, but forces 8 data bits without parity; what the port asked
// the driver for is kept, so that those two can be checked as well.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  using Real = int (*)(int, unsigned long, ...);
  static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "ioctl"));
  if (request == TCSETS2 && arg != nullptr) {
    std::lock_guard lock(g_lineMutex);
    g_lineAsked = *static_cast<const termios2*>(arg);
  }
  return real(fd, request, arg);
}

// Stands in for the program's error box: records what escapes a posted call.
class RecordingApp : public QCoreApplication {
public:
  using QCoreApplication::QCoreApplication;
  bool notify(QObject* receiver, QEvent* event) override
  {
    try {
      return QCoreApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      shown << QString::fromUtf8(e.what());
      return true;
    }
  }
  QStringList shown;
};

static RecordingApp* App() { return static_cast<RecordingApp*>(QCoreApplication::instance()); }

// A port set up as the main window's, recording its events in order.
struct Recorder {
  TComPort port;
  QStringList log;
  QByteArray received;
  bool readAll = true;

  explicit Recorder(const std::string& device)
  {
    port.SetName("ComPort");
    port.SetPort(device);
    port.SetBaudRate(br1200);
    port.SetDiscardNull(true);
    port.Buffer().SetInputSize(4096);
    port.FlowControl().SetControlDTR(dtrEnable);
    port.OnBeforeOpen = [this](TCustomComPort*) { log << "BeforeOpen"; };
    port.OnAfterOpen = [this](TCustomComPort* s) { log << (s->Connected() ? "AfterOpen" : "AfterOpen!closed"); };
    port.OnBeforeClose = [this](TCustomComPort* s) { log << (s->Connected() ? "BeforeClose" : "BeforeClose!closed"); };
    port.OnAfterClose = [this](TCustomComPort* s) { log << (s->Connected() ? "AfterClose!open" : "AfterClose"); };
    port.OnCTSChange = [this](TCustomComPort*, bool on) { log << QStringLiteral("CTS %1").arg(on); };
    port.OnDSRChange = [this](TCustomComPort*, bool on) { log << QStringLiteral("DSR %1").arg(on); };
    port.OnRLSDChange = [this](TCustomComPort*, bool on) { log << QStringLiteral("RLSD %1").arg(on); };
    port.OnRxChar = [this](TCustomComPort* s, int count) {
      log << QStringLiteral("RxChar%1").arg(s->Connected() ? "" : "!closed");
      counts.push_back(count);
      if (!readAll)
        return;
      std::string text;
      const int n = s->ReadText(text, count);
      readCounts.push_back(n);
      received.append(text.data(), qsizetype(text.size()));
    };
  }
  std::vector<int> counts, readCounts;
};

class TestComPort : public QObject {
  Q_OBJECT

private slots:
  void init() { App()->shown.clear(); }

  void devicePathNaming()
  {
    QCOMPARE(TCustomComPort::DevicePath("COM1"), std::string("/dev/ttyS0"));
    QCOMPARE(TCustomComPort::DevicePath("com10"), std::string("/dev/ttyS9"));
    QCOMPARE(TCustomComPort::DevicePath("ttyUSB0"), std::string("/dev/ttyUSB0"));
    QCOMPARE(TCustomComPort::DevicePath("/tmp/x"), std::string("/tmp/x"));
    // A name holding "/" is a path as given, not one under /dev.
    QCOMPARE(TCustomComPort::DevicePath("./x"), std::string("./x"));
    QCOMPARE(TCustomComPort::DevicePath("serial/by-id/usb-x"), std::string("serial/by-id/usb-x"));
    QCOMPARE(TCustomComPort::DevicePath("COM0"), std::string("/dev/COM0"));
    QCOMPARE(TCustomComPort::DevicePath(""), std::string());
  }

  void openCloseOrder()
  {
    PtyPair pty;
    QVERIFY(pty.Ok());
    Recorder r(pty.Path());
    r.port.OpenPort();
    QVERIFY(r.port.Connected());
    r.port.OpenPort(); // already open: nothing
    QCOMPARE(r.log, QStringList({"BeforeOpen", "AfterOpen", "CTS 0", "DSR 0", "RLSD 0"}));
    r.log.clear();
    r.port.ClosePort();
    r.port.ClosePort(); // already closed: nothing
    QVERIFY(!r.port.Connected());
    QCOMPARE(r.log, QStringList({"CTS 0", "DSR 0", "RLSD 0", "BeforeClose", "AfterClose"}));

    // The same through Connected, and with no event thread at all.
    r.log.clear();
    r.port.SetEvents({});
    r.port.SetConnected(true);
    r.port.SetConnected(false);
    QCOMPARE(r.log, QStringList({"BeforeOpen", "AfterOpen", "CTS 0", "DSR 0", "RLSD 0", "CTS 0", "DSR 0",
                                 "RLSD 0", "BeforeClose", "AfterClose"}));
  }

  void openFailures()
  {
    const int fds = dztest::OpenFdCount();
    for (const std::string& name : {std::string("/dev/no-such-serial-device"), std::string()}) {
      Recorder r(name);
      try {
        r.port.OpenPort();
        QFAIL("opened a missing device");
      } catch (const EComPort& e) {
        QCOMPARE(e.ErrorKind(), 1);
        QCOMPARE(e.SystemError(), ENOENT);
        QCOMPARE(std::string(e.what()), std::string("Unable to open com port (win error code: 2)"));
      }
      QVERIFY(!r.port.Connected());
      QCOMPARE(r.log, QStringList({"BeforeOpen"}));
    }

    // A device in use by another port is refused; the first keeps working.
    PtyPair pty;
    Recorder first(pty.Path()), second(pty.Path());
    first.port.OpenPort();
    try {
      second.port.OpenPort();
      QFAIL("a second open of the same device succeeded");
    } catch (const EComPort& e) {
      QCOMPARE(e.ErrorKind(), 1);
      QCOMPARE(e.SystemError(), EBUSY);
    }
    QCOMPARE(first.port.WriteText("ok"), 2);
    QCOMPARE(pty.Received(), QByteArray("ok"));
    first.port.ClosePort();
    second.port.OpenPort(); // free again
    second.port.ClosePort();
    QCOMPARE(dztest::OpenFdCount(), fds + 2); // only the pty pair itself
  }

  void refusedSettings()
  {
    const int fds = dztest::OpenFdCount();
    // A device that takes no line settings at all.
    {
      Recorder r("/dev/null");
      try {
        r.port.OpenPort();
        QFAIL("line settings on /dev/null succeeded");
      } catch (const EComPort& e) {
        QCOMPARE(e.ErrorKind(), 7);
        QCOMPARE(e.SystemError(), ENOTTY);
        QCOMPARE(std::string(e.what()), std::string("SetCommState function failed (win error code: 25)"));
      }
      QVERIFY(!r.port.Connected());
      QCOMPARE(r.log, QStringList({"BeforeOpen"}));
    }
    QCOMPARE(dztest::OpenFdCount(), fds); // the device was released

    // A rate no line can have, at open and while open.
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.SetBaudRate(brCustom);
    r.port.SetCustomBaudRate(-1);
    QVERIFY_THROWS_EXCEPTION(EComPort, r.port.OpenPort());
    QVERIFY(!r.port.Connected());
    r.port.SetCustomBaudRate(12345);
    r.port.OpenPort();
    try {
      r.port.SetCustomBaudRate(0);
      QFAIL("rate 0 accepted");
    } catch (const EComPort& e) {
      QCOMPARE(e.ErrorKind(), 7);
      QCOMPARE(e.SystemError(), EINVAL);
    }
    QVERIFY(r.port.Connected()); // a setter's failure leaves the port open
    r.port.ClosePort();
  }

  void lineSettingsReachTheDevice()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.OpenPort();
    termios t{};
    QCOMPARE(tcgetattr(pty.Slave(), &t), 0);
    QVERIFY(!(t.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS)));
    QVERIFY(!(t.c_lflag & (ICANON | ECHO)));
    QVERIFY(!(t.c_iflag & (ICRNL | IXON)));
    QCOMPARE(int(t.c_cc[VMIN]), 0);
    // A pseudo-terminal forces 8 data bits without parity whatever is set, so the
    // checks below look at the flags it keeps.
    const tcflag_t kept = PARODD | CMSPAR | CSTOPB | CRTSCTS;

    // Changes made in one batch reach the device only at its end.
    r.port.SuspendApply();
    r.port.SuspendApply();
    r.port.SetDataBits(dbSeven);
    r.port.Parity().SetBits(prOdd);
    r.port.SetStopBits(sbTwoStopBits);
    r.port.FlowControl().SetFlowControl(fcHardware);
    r.port.ResumeApply();
    QCOMPARE(tcgetattr(pty.Slave(), &t), 0);
    QCOMPARE(t.c_cflag & kept, tcflag_t(0));
    r.port.ResumeApply();
    r.port.ResumeApply(); // depth already 0: nothing
    QCOMPARE(tcgetattr(pty.Slave(), &t), 0);
    QCOMPARE(t.c_cflag & kept, tcflag_t(PARODD | CSTOPB | CRTSCTS));

    // Each setter applies at once while open: mark parity, software flow with its characters.
    r.port.Parity().SetBits(prMark);
    r.port.FlowControl().SetXonChar('A');
    r.port.FlowControl().SetFlowControl(fcSoftware);
    QCOMPARE(tcgetattr(pty.Slave(), &t), 0);
    QCOMPARE(t.c_cflag & kept, tcflag_t(PARODD | CMSPAR | CSTOPB));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    QCOMPARE(int(t.c_cc[VSTART]), int('A'));

    // A closed port only stores.
    r.port.ClosePort();
    r.port.SetStopBits(sbOneStopBit);
    QCOMPARE(tcgetattr(pty.Slave(), &t), 0);
    QVERIFY(t.c_cflag & CSTOPB);
  }

  void everyTableEntryReachesTheDevice()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.OpenPort();
    auto device = [&] {
      termios2 t{};
      ::ioctl(pty.Slave(), TCGETS2, &t);
      return t;
    };
    auto asked = [] {
      std::lock_guard lock(g_lineMutex);
      return g_lineAsked;
    };

    const std::pair<TBaudRate, speed_t> rates[] = {
      {br110, 110},     {br300, 300},     {br600, 600},       {br1200, 1200},     {br2400, 2400},
      {br4800, 4800},   {br9600, 9600},   {br14400, 14400},   {br19200, 19200},   {br38400, 38400},
      {br56000, 56000}, {br57600, 57600}, {br115200, 115200}, {br128000, 128000}, {br256000, 256000}};
    for (const auto& [rate, bps] : rates) {
      r.port.SetBaudRate(rate);
      QCOMPARE(device().c_ospeed, bps);
      QCOMPARE(device().c_ispeed, bps);
    }
    r.port.SetCustomBaudRate(31250);
    r.port.SetBaudRate(brCustom);
    QCOMPARE(device().c_ospeed, speed_t(31250));

    const std::pair<TDataBits, tcflag_t> sizes[] = {{dbFive, CS5}, {dbSix, CS6}, {dbSeven, CS7}, {dbEight, CS8}};
    for (const auto& [bits, size] : sizes) {
      r.port.SetDataBits(bits);
      QCOMPARE(asked().c_cflag & CSIZE, size);
    }

    // One and a half stop bits: the UART's CSTOPB with five data bits.
    const std::pair<TStopBits, tcflag_t> stops[] = {
      {sbOneStopBit, 0}, {sbOne5StopBits, CSTOPB}, {sbTwoStopBits, CSTOPB}};
    for (const auto& [stop, flag] : stops) {
      r.port.SetStopBits(stop);
      QCOMPARE(device().c_cflag & CSTOPB, flag);
    }

    const std::pair<TParityBits, tcflag_t> parities[] = {{prNone, 0},
                                                         {prOdd, PARENB | PARODD},
                                                         {prEven, PARENB},
                                                         {prMark, PARENB | PARODD | CMSPAR},
                                                         {prSpace, PARENB | CMSPAR}};
    for (const auto& [parity, flags] : parities) {
      r.port.Parity().SetBits(parity);
      QCOMPARE(asked().c_cflag & (PARENB | PARODD | CMSPAR), flags);
      QCOMPARE(device().c_cflag & (PARODD | CMSPAR), flags & (PARODD | CMSPAR));
    }

    struct Flow {
      TFlowControl control;
      tcflag_t cflag, iflag;
    };
    for (const Flow& f : {Flow{fcHardware, CRTSCTS, 0}, Flow{fcSoftware, 0, IXON | IXOFF}, Flow{fcNone, 0, 0}}) {
      r.port.FlowControl().SetFlowControl(f.control);
      QCOMPARE(device().c_cflag & CRTSCTS, f.cflag);
      QCOMPARE(device().c_iflag & (IXON | IXOFF), f.iflag);
    }
    // What the port asked for is what the device kept, wherever it keeps it.
    const tcflag_t kept = CSTOPB | PARODD | CMSPAR | CRTSCTS;
    QCOMPARE(asked().c_cflag & kept, device().c_cflag & kept);
    QCOMPARE(asked().c_ospeed, device().c_ospeed);
    r.port.ClosePort();
  }

  void settingObjects()
  {
    TComPort port;
    port.Buffer().SetInputSize(4097);
    QCOMPARE(port.Buffer().InputSize(), 4096);
    port.Buffer().SetOutputSize(1);
    QCOMPARE(port.Buffer().OutputSize(), 0);
    port.Buffer().SetOutputSize(-3);
    QCOMPARE(port.Buffer().OutputSize(), -3);

    TComFlowControl& f = port.FlowControl();
    f.SetControlDTR(dtrEnable);
    QCOMPARE(f.FlowControl(), fcNone);
    f.SetFlowControl(fcHardware);
    QCOMPARE(f.ControlRTS(), rtsHandshake);
    QVERIFY(f.OutCTSFlow());
    QCOMPARE(f.FlowControl(), fcHardware);
    f.SetFlowControl(fcSoftware);
    QCOMPARE(f.ControlRTS(), rtsDisable);
    QVERIFY(!f.OutCTSFlow() && f.XonXoffIn() && f.XonXoffOut());
    QCOMPARE(f.FlowControl(), fcSoftware);
    f.SetXonXoffIn(false);
    QCOMPARE(f.FlowControl(), fcCustom);
    f.SetFlowControl(fcCustom); // changes nothing
    QVERIFY(!f.XonXoffIn() && f.XonXoffOut());
    f.SetFlowControl(fcNone);
    QCOMPARE(f.FlowControl(), fcNone);
    QCOMPARE(f.ControlDTR(), dtrEnable); // never touched by the shortcut
    f.SetControlRTS(rtsEnable);
    QCOMPARE(f.FlowControl(), fcCustom);

    TComParity other;
    other.SetBits(prSpace);
    other.SetReplaceChar('?');
    port.SetParity(other);
    QCOMPARE(port.Parity().Bits(), prSpace);
    QCOMPARE(port.Parity().ReplaceChar(), '?');
    QCOMPARE(port.EffectiveBaudRate(), 9600);
    port.SetBaudRate(br128000);
    QCOMPARE(port.EffectiveBaudRate(), 128000);
  }

  void propertiesWhileOpen()
  {
    PtyPair pty, other;
    Recorder r(pty.Path());
    r.port.OpenPort();
    try {
      r.port.SetSyncMethod(smNone);
      QFAIL("sync method changed while open");
    } catch (const EComPort& e) {
      QCOMPARE(e.ErrorKind(), 14);
      QCOMPARE(e.SystemError(), -1);
      QCOMPARE(std::string(e.what()), std::string("Cannot set property while connected"));
    }
    QCOMPARE(r.port.SyncMethod(), smThreadSync);

    // A new name closes and reopens the port on the new device.
    r.log.clear();
    r.port.SetPort(other.Path());
    QVERIFY(r.port.Connected());
    QVERIFY(r.log.contains("AfterClose") && r.log.indexOf("AfterClose") < r.log.indexOf("AfterOpen"));
    QCOMPARE(r.port.WriteText("new"), 3);
    QCOMPARE(other.Received(), QByteArray("new"));
    QCOMPARE(pty.Received(), QByteArray());
    r.port.ClosePort();
  }

  void receiveCountsAndNulls()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.OpenPort();
    // NUL bytes never count and never arrive; a batch of only NULs fires nothing.
    QVERIFY(pty.Send(QByteArray("\0\0\0", 3)));
    QVERIFY(pty.Send(QByteArray("ab\0c\0", 5)));
    QTRY_COMPARE(r.received, QByteArray("abc"));
    QVERIFY(pty.Send(QByteArray(3000, 'x') + QByteArray("\0end", 4)));
    QTRY_COMPARE(r.received.size(), 3 + 3003);
    QVERIFY(r.received.endsWith("xend"));
    int sum = 0;
    for (size_t i = 0; i < r.counts.size(); ++i) {
      QVERIFY2(r.counts[i] >= 1, "OnRxChar with Count 0");
      QCOMPARE(r.readCounts[i], r.counts[i]); // Count is exactly what ReadText then gives
      sum += r.counts[i];
    }
    QCOMPARE(sum, 3006);
    r.port.ClosePort();

    // With DiscardNull off they are data like any other byte.
    Recorder keep(pty.Path());
    keep.port.SetDiscardNull(false);
    keep.port.OpenPort();
    QVERIFY(pty.Send(QByteArray("a\0b", 3)));
    QTRY_COMPARE(keep.received, QByteArray("a\0b", 3));
    keep.port.ClosePort();
  }

  void readsWithoutEventThread()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.SetEvents({});
    r.port.OpenPort();
    std::string text = "old";
    QCOMPARE(r.port.ReadText(text, 0), 0);
    QVERIFY(text.empty());
    QCOMPARE(r.port.ReadText(text, 10), 0); // nothing queued: returns at once
    QVERIFY(pty.Send(QByteArray("12\0" "345", 6)));
    QTRY_COMPARE(r.port.QueuedInputCount(), 5);
    QCOMPARE(r.port.ReadText(text, 3), 3);
    QCOMPARE(text, std::string("123"));
    QCOMPARE(r.port.ReadText(text, 100), 2);
    QCOMPARE(text, std::string("45"));
    QCOMPARE(r.port.QueuedInputCount(), 0);
    QCOMPARE(r.port.WriteText(""), 0);
    QCOMPARE(r.port.TakeLineErrors(), TComErrors());
    QCOMPARE(r.port.ModemSignals(), TComSignals()); // a pty has no modem lines: all off
    QCoreApplication::processEvents();
    QVERIFY(r.counts.empty()); // no data events without an event thread

    // Bytes nobody read are gone with the close: they must not reach the next
    // download as if that logger had sent them.
    QVERIFY(pty.Send("stale"));
    QTRY_VERIFY([&] {
      int queued = 0;
      return ::ioctl(pty.Slave(), FIONREAD, &queued) == 0 && queued == 5;
    }());
    r.port.ClosePort();
    r.port.SetEvents(AllComEvents);
    r.port.OpenPort();
    QVERIFY(pty.Send("fresh"));
    QTRY_COMPARE(r.received, QByteArray("fresh"));
    r.port.ClosePort();
  }

  void closedPortOperationsFail()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.OpenPort();
    r.port.ClosePort();
    std::string text;
    auto kindOf = [](auto&& call) {
      try {
        call();
      } catch (const EComPort& e) {
        return e.ErrorKind();
      }
      return 0;
    };
    QCOMPARE(kindOf([&] { r.port.ReadText(text, 5); }), 3);
    QCOMPARE(kindOf([&] { r.port.WriteText("x"); }), 2);
    QCOMPARE(kindOf([&] { r.port.QueuedInputCount(); }), 10);
    QCOMPARE(kindOf([&] { r.port.TakeLineErrors(); }), 10);
    QCOMPARE(kindOf([&] { r.port.ModemSignals(); }), 11);
    QVERIFY(text.empty());
    QCOMPARE(r.port.ReadText(text, 0), 0); // no device call at all
  }

  void writeCompletesOrTimesOut()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.OpenPort();
    QCOMPARE(r.port.WriteText("1"), 1);
    // Complete means the byte has left the port: the other end has it at once.
    QCOMPARE(pty.Received(), QByteArray("1"));

    // The other end never reads: a large write cannot finish within its timeouts.
    r.port.Timeouts().SetWriteTotalConstant(50);
    r.port.Timeouts().SetWriteTotalMultiplier(0);
    try {
      r.port.WriteText(std::string(1 << 20, 'w'));
      QFAIL("a write nobody reads completed");
    } catch (const EComPort& e) {
      QCOMPARE(e.ErrorKind(), 2);
      QCOMPARE(e.SystemError(), ETIMEDOUT);
    }
    QVERIFY(r.port.Connected()); // a failed write leaves the port open
    r.port.ClosePort();          // and closing does not wait for the stuck output
  }

  void writtenCommandSurvivesImmediateClose()
  {
    // The erase command: open, write "9", close at once. The logger must still
    // get the character, whatever closing discards.
    PtyPair pty;
    for (int i = 0; i < 20; ++i) {
      Recorder r(pty.Path());
      r.port.OpenPort();
      r.port.WriteText("9");
      r.port.ClosePort();
      QCOMPARE(pty.Received(), QByteArray("9"));
    }
    // Exclusive use ends with the close: the device opens again at once.
    int fd = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    int excl = 0;
    QVERIFY(::ioctl(fd, TIOCGEXCL, &excl) == 0);
    QCOMPARE(excl, 0);
    ::close(fd);
  }

  void transmitEmptyEvent()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    int txEmpty = 0;
    r.port.OnTxEmpty = [&](TCustomComPort*) { ++txEmpty; };
    r.port.OpenPort();
    r.port.WriteText("abc");
    QTRY_COMPARE(txEmpty, 1);
    r.port.ClosePort();
  }

  void eventCharacterAndEightyPercentMark()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    r.readAll = false; // the bytes stay queued
    r.port.Buffer().SetInputSize(100);
    r.port.SetEventChar('\n');
    int flags = 0, full = 0;
    r.port.OnRxFlag = [&](TCustomComPort*) { ++flags; };
    r.port.OnRx80Full = [&](TCustomComPort*) { ++full; };
    r.port.OpenPort();
    QVERIFY(pty.Send(QByteArray(50, 'a')));
    QTRY_COMPARE(r.port.QueuedInputCount(), 50);
    QCOMPARE(flags, 0);
    QVERIFY(pty.Send(QByteArray(40, 'b') + "\n"));
    QTRY_COMPARE(flags, 1);
    QTRY_COMPARE(full, 1); // crossed 80 of 100 once
    QVERIFY(pty.Send("more\n"));
    QTRY_COMPARE(flags, 2);
    QCOMPARE(full, 1);
    QTRY_COMPARE(r.counts.back(), 96); // Count covers everything still queued
    r.port.ClosePort();
  }

  void bytesTakenByTheMainThreadAreStillAnnounced()
  {
    // The main thread may take bytes from the driver (a queue count) before the
    // event thread sees them; they must still raise their receive events.
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.SetEventChar('\n');
    int flags = 0;
    r.port.OnRxFlag = [&](TCustomComPort*) { ++flags; };
    r.port.OpenPort();
    for (int i = 1; i <= 50; ++i) {
      QVERIFY(pty.Send("ab\n"));
      r.port.QueuedInputCount(); // races the event thread for the bytes
      QTRY_COMPARE(r.received.size(), qsizetype(3 * i));
      QTRY_COMPARE(flags, i);
    }
    r.port.ClosePort();
  }

  void batchPendingAtCloseIsDelivered()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.OpenPort();
    // The event thread takes the bytes and waits for this thread, which does not
    // serve its event loop until ClosePort.
    QVERIFY(pty.Send("pending"));
    QElapsedTimer guard;
    guard.start();
    while (!r.port.HandOverWaiting() && guard.elapsed() < 10000)
      QThread::msleep(1);
    QVERIFY(r.port.HandOverWaiting());
    r.log.clear();
    r.port.ClosePort();
    QCOMPARE(r.log, QStringList({"CTS 0", "DSR 0", "RLSD 0", "BeforeClose", "RxChar", "AfterClose"}));
    QCOMPARE(r.received, QByteArray("pending"));
    QCoreApplication::processEvents(); // the stale posted call finds nothing to do
    QCOMPARE(r.counts.size(), size_t(1));
  }

  void handlerCallsClosePortDuringDelivery()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    r.port.OnRxChar = [&](TCustomComPort* s, int) { s->ClosePort(); };
    r.port.OpenPort();
    QVERIFY(pty.Send("x"));
    QTRY_VERIFY(!r.port.Connected());
    QVERIFY(r.log.endsWith("AfterClose"));
  }

  void handlerErrorIsShownNotSwallowed()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    int calls = 0;
    r.port.OnRxChar = [&](TCustomComPort*, int) {
      ++calls;
      throw std::runtime_error("handler failed");
    };
    r.port.OpenPort();
    QVERIFY(pty.Send("a"));
    QTRY_COMPARE(App()->shown, QStringList({"handler failed"}));
    QCOMPARE(calls, 1);
    QVERIFY(r.port.Connected());
    r.port.ClosePort();

    // Raised inside ClosePort's own delivery: posted on, shown once the loop runs.
    r.port.OnRxChar = [&](TCustomComPort*, int) { throw std::runtime_error("during close"); };
    r.port.OpenPort();
    QVERIFY(pty.Send("b"));
    QElapsedTimer guard;
    guard.start();
    while (!r.port.HandOverWaiting() && guard.elapsed() < 10000)
      QThread::msleep(1);
    r.port.ClosePort();
    QVERIFY(r.log.endsWith("AfterClose"));
    QTRY_COMPARE(App()->shown, QStringList({"handler failed", "during close"}));
  }

  void hangUpIsReportedOnceWithoutSpinning()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    QList<TComErrors> errors;
    r.port.OnError = [&](TCustomComPort*, TComErrors e) { errors << e; };
    r.port.OpenPort();
    QVERIFY(pty.Send("before"));
    QTRY_COMPARE(r.received, QByteArray("before"));
    pty.CloseMaster();
    QTRY_COMPARE(errors.size(), 1);
    QVERIFY(errors[0].Contains(ceIO));

    // No second report, and the event thread does not busy-loop on the dead device.
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    QTest::qWait(300);
    getrusage(RUSAGE_SELF, &after);
    auto usec = [](const rusage& u) {
      return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000LL + u.ru_utime.tv_usec + u.ru_stime.tv_usec;
    };
    QVERIFY2(usec(after) - usec(before) < 150000, "the event thread spins after the hang-up");
    QCOMPARE(errors.size(), 1);
    QCOMPARE(r.received, QByteArray("before")); // what arrived stays
    r.port.ClosePort();
    QVERIFY(r.log.endsWith("AfterClose"));
  }

  void otherDeliveryMethods()
  {
    PtyPair pty;
    for (TSyncMethod method : {smNone, smWindowSync}) {
      Recorder r(pty.Path());
      r.port.SetSyncMethod(method);
      std::atomic<bool> onMainThread{true};
      std::mutex m;
      QByteArray got;
      r.port.OnRxChar = [&](TCustomComPort* s, int count) {
        onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        std::string text;
        s->ReadText(text, count);
        std::lock_guard lock(m);
        got.append(text.data(), qsizetype(text.size()));
      };
      r.port.OpenPort();
      QVERIFY(pty.Send("sync"));
      QTRY_VERIFY([&] { std::lock_guard lock(m); return got == "sync"; }());
      QCOMPARE(onMainThread.load(), method != smNone);
      r.port.ClosePort();
    }
  }

  void simulatorDownloadThenDisconnect()
  {
    // The logger simulator: listed while it runs, streams on the trigger, and its
    // end mid-stream is a hang-up that keeps what arrived.
    QProcess sim;
    sim.start(QStringLiteral(DZ_SIM_PATH), {"--model", "0", "--seed", "3"});
    QVERIFY(sim.waitForStarted(10000));
    while (!sim.canReadLine())
      QVERIFY(sim.waitForReadyRead(10000));
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QStringList ports;
    ListSerialPorts(ports);
    const QString listed = [&] {
      for (const QString& p : ports)
        if (QFileInfo(p).canonicalFilePath() == QFileInfo(device).canonicalFilePath())
          return p;
      return QString();
    }();
    QVERIFY2(!listed.isEmpty(), qPrintable(ports.join(' ')));

    Recorder r(listed.toStdString());
    QList<TComErrors> errors;
    r.port.OnError = [&](TCustomComPort*, TComErrors e) { errors << e; };
    r.port.OpenPort();
    QCOMPARE(r.port.WriteText("1"), 1);
    QTRY_VERIFY(r.received.size() >= 200);
    sim.kill();
    sim.waitForFinished(10000);
    QTRY_COMPARE(errors.size(), 1);
    QVERIFY(errors[0].Contains(ceIO));
    const QByteArray got = r.received;
    QVERIFY(got.contains("\r\n"));
    QCoreApplication::processEvents();
    QCOMPARE(errors.size(), 1);
    r.port.ClosePort();
    QCOMPARE(r.received, got);
    QVERIFY(r.log.endsWith("AfterClose"));
  }

  void manyCyclesLeakNothing()
  {
    PtyPair pty;
    Recorder r(pty.Path());
    const int fds = dztest::OpenFdCount();
    for (int i = 0; i < 200; ++i) {
      r.port.OpenPort();
      r.port.WriteText("7");
      QCOMPARE(pty.Received(), QByteArray("7"));
      QVERIFY(pty.Send(QByteArray::number(i) + "\r\n"));
      if (i % 20 == 0) {
        QTRY_VERIFY(r.received.endsWith(QByteArray::number(i) + "\r\n"));
        // The data came through the thread, which has named itself by now. The
        // last cycle's thread, joined by its close, leaves the system's list a
        // moment later: on a loaded machine, up to a tenth of a second.
        QTRY_COMPARE(dztest::ThreadCount(dztest::kPortThread), 1);
      }
      r.port.ClosePort();
      if (i % 20 == 0)
        QTRY_COMPARE(dztest::ThreadCount(dztest::kPortThread), 0); // joined by the close
    }
    QCOMPARE(dztest::OpenFdCount(), fds);
  }
};

int main(int argc, char** argv)
{
  RecordingApp app(argc, argv);
  TestComPort test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_comport.moc"
