#include "comport.h"

#include "linuxtty.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

// ---------------------------------------------------------------- errors

std::string EComPort::KindText(int kind)
{
  static const char* const texts[] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
  };
  if (kind < 1 || kind > 23)
    return std::string();
  return texts[kind - 1];
}

static std::string ErrorMessage(int kind, int systemError)
{
  std::string text = EComPort::KindText(kind);
  if (systemError != -1)
    text += " (win error code: " + std::to_string(systemError) + ")";
  return text;
}

EComPort::EComPort(int kind, int systemError)
  : std::runtime_error(ErrorMessage(kind, systemError)), m_kind(kind), m_systemError(systemError)
{
}

// An error raised where nobody can catch it goes to the application's error box
// (its notify() shows what escapes a posted call); never dropped silently.
static void PostToApplication(std::exception_ptr e)
{
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(app, [e] { std::rethrow_exception(e); }, Qt::QueuedConnection);
    return;
  }
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    qWarning("serial port: %s", x.what());
  } catch (...) {
    qWarning("serial port: unknown error");
  }
}

// ---------------------------------------------------------------- settings objects

void TComParity::Changed()
{
  if (m_port)
    m_port->ApplyLineSettings();
}

void TComParity::Assign(const TComParity& src)
{
  m_Bits = src.m_Bits;
  m_Check = src.m_Check;
  m_Replace = src.m_Replace;
  m_ReplaceChar = src.m_ReplaceChar;
  Changed();
}

void TComParity::SetBits(TParityBits v)
{
  if (v != m_Bits) {
    m_Bits = v;
    Changed();
  }
}

void TComParity::SetCheck(bool v)
{
  if (v != m_Check) {
    m_Check = v;
    Changed();
  }
}

void TComParity::SetReplace(bool v)
{
  if (v != m_Replace) {
    m_Replace = v;
    Changed();
  }
}

void TComParity::SetReplaceChar(char v)
{
  if (v != m_ReplaceChar) {
    m_ReplaceChar = v;
    Changed();
  }
}

void TComFlowControl::Changed()
{
  if (m_port)
    m_port->ApplyLineSettings();
}

template <typename T>
void TComFlowControl::Set(T& field, T v)
{
  if (field != v) {
    field = v;
    Changed();
  }
}

void TComFlowControl::Assign(const TComFlowControl& src)
{
  m_OutCTSFlow = src.m_OutCTSFlow;
  m_OutDSRFlow = src.m_OutDSRFlow;
  m_ControlDTR = src.m_ControlDTR;
  m_ControlRTS = src.m_ControlRTS;
  m_XonXoffOut = src.m_XonXoffOut;
  m_XonXoffIn = src.m_XonXoffIn;
  m_DSRSensitivity = src.m_DSRSensitivity;
  m_TxContinueOnXoff = src.m_TxContinueOnXoff;
  m_XonChar = src.m_XonChar;
  m_XoffChar = src.m_XoffChar;
  Changed();
}

TFlowControl TComFlowControl::FlowControl() const
{
  if (m_ControlRTS == rtsHandshake && m_OutCTSFlow && !m_XonXoffIn && !m_XonXoffOut)
    return fcHardware;
  if (m_ControlRTS == rtsDisable && !m_OutCTSFlow && m_XonXoffIn && m_XonXoffOut)
    return fcSoftware;
  if (m_ControlRTS == rtsDisable && !m_OutCTSFlow && !m_XonXoffIn && !m_XonXoffOut)
    return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl v)
{
  if (v != fcCustom) {
    m_ControlRTS = rtsDisable;
    m_OutCTSFlow = false;
    m_XonXoffIn = false;
    m_XonXoffOut = false;
    if (v == fcHardware) {
      m_ControlRTS = rtsHandshake;
      m_OutCTSFlow = true;
    } else if (v == fcSoftware) {
      m_XonXoffIn = true;
      m_XonXoffOut = true;
    }
  }
  Changed(); // in every case, also for fcCustom
}

void TComFlowControl::SetOutCTSFlow(bool v) { Set(m_OutCTSFlow, v); }
void TComFlowControl::SetOutDSRFlow(bool v) { Set(m_OutDSRFlow, v); }
void TComFlowControl::SetControlDTR(TDTRFlowControl v) { Set(m_ControlDTR, v); }
void TComFlowControl::SetControlRTS(TRTSFlowControl v) { Set(m_ControlRTS, v); }
void TComFlowControl::SetXonXoffOut(bool v) { Set(m_XonXoffOut, v); }
void TComFlowControl::SetXonXoffIn(bool v) { Set(m_XonXoffIn, v); }
void TComFlowControl::SetDSRSensitivity(bool v) { Set(m_DSRSensitivity, v); }
void TComFlowControl::SetTxContinueOnXoff(bool v) { Set(m_TxContinueOnXoff, v); }
void TComFlowControl::SetXonChar(char v) { Set(m_XonChar, v); }
void TComFlowControl::SetXoffChar(char v) { Set(m_XoffChar, v); }

void TComTimeouts::Set(std::int32_t& field, std::int32_t v)
{
  if (field != v) {
    field = v;
    if (m_port)
      m_port->ApplyTimeoutSettings();
  }
}

void TComTimeouts::Assign(const TComTimeouts& src)
{
  m_ReadInterval = src.m_ReadInterval;
  m_ReadTotalMultiplier = src.m_ReadTotalMultiplier;
  m_ReadTotalConstant = src.m_ReadTotalConstant;
  m_WriteTotalMultiplier = src.m_WriteTotalMultiplier;
  m_WriteTotalConstant = src.m_WriteTotalConstant;
  if (m_port)
    m_port->ApplyTimeoutSettings();
}

void TComTimeouts::SetReadInterval(std::int32_t v) { Set(m_ReadInterval, v); }
void TComTimeouts::SetReadTotalMultiplier(std::int32_t v) { Set(m_ReadTotalMultiplier, v); }
void TComTimeouts::SetReadTotalConstant(std::int32_t v) { Set(m_ReadTotalConstant, v); }
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t v) { Set(m_WriteTotalMultiplier, v); }
void TComTimeouts::SetWriteTotalConstant(std::int32_t v) { Set(m_WriteTotalConstant, v); }

void TComBuffer::Set(std::int32_t& field, std::int32_t v)
{
  if (v > 0 && v % 2 != 0)
    --v;
  if (field != v) {
    field = v;
    if (m_port)
      m_port->ApplyQueueSizes();
  }
}

void TComBuffer::Assign(const TComBuffer& src)
{
  m_InputSize = src.m_InputSize;
  m_OutputSize = src.m_OutputSize;
  if (m_port)
    m_port->ApplyQueueSizes();
}

void TComBuffer::SetInputSize(std::int32_t v) { Set(m_InputSize, v); }
void TComBuffer::SetOutputSize(std::int32_t v) { Set(m_OutputSize, v); }

// ---------------------------------------------------------------- port: settings

TCustomComPort::TCustomComPort(QObject* owner) : QObject(owner) {}

TCustomComPort::~TCustomComPort()
{
  try {
    ClosePort();
  } catch (...) {
    PostToApplication(std::current_exception());
  }
}

void TCustomComPort::SetConnected(bool v)
{
  if (v == m_Connected)
    return;
  if (v)
    OpenPort();
  else
    ClosePort();
}

void TCustomComPort::SetPort(const std::string& v)
{
  if (v == m_Port)
    return;
  m_Port = v;
  if (m_Connected) {
    ClosePort();
    OpenPort();
  }
}

void TCustomComPort::SetBaudRate(TBaudRate v)
{
  if (v != m_BaudRate) {
    m_BaudRate = v;
    ApplyLineSettings();
  }
}

void TCustomComPort::SetCustomBaudRate(std::int32_t v)
{
  if (v != m_CustomBaudRate) {
    m_CustomBaudRate = v;
    ApplyLineSettings();
  }
}

void TCustomComPort::SetDataBits(TDataBits v)
{
  if (v != m_DataBits) {
    m_DataBits = v;
    ApplyLineSettings();
  }
}

void TCustomComPort::SetStopBits(TStopBits v)
{
  if (v != m_StopBits) {
    m_StopBits = v;
    ApplyLineSettings();
  }
}

void TCustomComPort::SetDiscardNull(bool v)
{
  if (v != m_DiscardNull.load()) {
    m_DiscardNull = v;
    ApplyLineSettings();
  }
}

void TCustomComPort::SetEventChar(char v)
{
  if (v != m_EventChar.load()) {
    m_EventChar = v;
    ApplyLineSettings();
  }
}

void TCustomComPort::SetSyncMethod(TSyncMethod v)
{
  if (v == m_SyncMethod.load())
    return;
  if (m_Connected)
    throw EComPort(ekConnectedProperty);
  m_SyncMethod = v;
}

std::int32_t TCustomComPort::EffectiveBaudRate() const
{
  static const std::int32_t rates[] = {0,     110,   300,   600,   1200,   2400,   4800,   9600,
                                       14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  if (m_BaudRate == brCustom || m_BaudRate < 0 || m_BaudRate > br256000)
    return m_CustomBaudRate;
  return rates[m_BaudRate];
}

std::string TCustomComPort::DevicePath(const std::string& port)
{
  if (port.empty())
    return std::string();
  // A name with a slash is a path as given ("/dev/ttyUSB0", "./logger"),
  // relative ones from the working folder as for any other file.
  if (port.find('/') != std::string::npos)
    return port;
  // "COMn" (any letter case, n from 1) is the n-th built-in UART.
  if (port.size() > 3 && port.size() < 10 && (port[0] == 'C' || port[0] == 'c') &&
      (port[1] == 'O' || port[1] == 'o') && (port[2] == 'M' || port[2] == 'm') && port[3] != '0' &&
      std::all_of(port.begin() + 3, port.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
    return "/dev/ttyS" + std::to_string(std::stol(port.substr(3)) - 1);
  return "/dev/" + port;
}

void TCustomComPort::SuspendApply() { ++m_UpdateCount; }

void TCustomComPort::ResumeApply()
{
  if (m_UpdateCount == 0)
    return;
  if (--m_UpdateCount == 0)
    ApplyAllSettings();
}

bool TCustomComPort::CanApply() const { return m_Connected && m_UpdateCount == 0; }

void TCustomComPort::ApplyAllSettings()
{
  ApplyQueueSizes();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

// The driver sizes its own queues; the sizes are kept (they bound the staging buffer
// and the 80 % mark). Only the device itself is checked.
void TCustomComPort::ApplyQueueSizes()
{
  if (!CanApply())
    return;
  if (::fcntl(m_fd, F_GETFL) < 0)
    throw EComPort(ekQueueSizes, errno);
}

void TCustomComPort::ApplyLineSettings()
{
  if (!CanApply())
    return;
  const int fd = m_fd;
  dz::tty::LineConfig c;
  c.rate = EffectiveBaudRate();
  c.dataBits = 5 + static_cast<int>(m_DataBits);
  c.stopBits = static_cast<int>(m_StopBits);
  c.parity = static_cast<int>(m_Parity.Bits());
  c.checkParity = m_Parity.Check();
  c.replaceParity = m_Parity.Replace();
  c.ctsOutFlow = m_FlowControl.OutCTSFlow();
  c.rtsHandshake = m_FlowControl.ControlRTS() == rtsHandshake;
  c.xonXoffOut = m_FlowControl.XonXoffOut();
  c.xonXoffIn = m_FlowControl.XonXoffIn();
  c.xonChar = static_cast<unsigned char>(m_FlowControl.XonChar());
  c.xoffChar = static_cast<unsigned char>(m_FlowControl.XoffChar());
  if (int e = dz::tty::ApplyLine(fd, c))
    throw EComPort(ekLineSettings, e);

  // A device without modem lines (a pseudo-terminal) answers ENOTTY or EINVAL: nothing
  // to set there. DTR handshaking has no Linux counterpart: the line is held on.
  // RTS toggling likewise: the line is held off.
  auto modem = [](int e) {
    if (e != 0 && e != ENOTTY && e != EINVAL)
      throw EComPort(ekLineSettings, e);
  };
  modem(dz::tty::SetDtr(fd, m_FlowControl.ControlDTR() != dtrDisable));
  if (m_FlowControl.ControlRTS() != rtsHandshake)
    modem(dz::tty::SetRts(fd, m_FlowControl.ControlRTS() == rtsEnable));
}

// Reads never wait whatever the values (non-blocking, VMIN = VTIME = 0); the write
// timeouts bound WriteText. Only the device itself is checked here.
void TCustomComPort::ApplyTimeoutSettings()
{
  if (!CanApply())
    return;
  if (::fcntl(m_fd, F_GETFL) < 0)
    throw EComPort(ekTimeouts, errno);
}

// ---------------------------------------------------------------- port: open and close

void TCustomComPort::OpenDevice()
{
  const std::string path = DevicePath(m_Port);
  if (path.empty())
    throw EComPort(ekOpenDevice, ENOENT);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    throw EComPort(ekOpenDevice, errno);
  // Exclusive use: TIOCEXCL keeps other users out (root is exempt from it), the lock
  // keeps out a second instance of this program even under root.
  ::ioctl(fd, TIOCEXCL);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = (errno == EWOULDBLOCK) ? EBUSY : errno;
    ::close(fd);
    throw EComPort(ekOpenDevice, e);
  }
  m_fd = fd;
}

void TCustomComPort::CloseDevice()
{
  const int fd = m_fd.exchange(-1);
  if (fd < 0)
    return;
  // Discarding first also keeps close() from waiting for unsent output.
  dz::tty::FlushBoth(fd);
  // On a pseudo-terminal the exclusive flag outlives this descriptor and would
  // turn away the next open by an ordinary user.
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

void TCustomComPort::OpenPort()
{
  if (m_Connected)
    return;
  DoBeforeOpen();
  OpenDevice();
  m_Connected = true;
  {
    std::lock_guard lock(m_stageMutex);
    m_stage.clear();
    m_stageHead = 0;
    m_stageFull = false;
  }
  {
    std::lock_guard lock(m_errMutex);
    m_pendingErrors = {};
    serial_icounter_struct ic{};
    m_haveCounters = ::ioctl(m_fd, TIOCGICOUNT, &ic) == 0;
    m_counters = {ic.cts, ic.dsr, ic.rng, ic.dcd, ic.frame, ic.overrun, ic.parity, ic.brk,
                  ic.buf_overrun};
  }
  m_txEmptyWanted = false;
  m_owedRxEvents = 0;
  try {
    ApplyAllSettings();
  } catch (...) {
    CloseDevice();
    m_Connected = false;
    throw;
  }
  if (!m_Events.Empty()) {
    m_Thread = std::make_unique<TComThread>(this);
    m_Thread->start(QThread::NormalPriority);
    m_ThreadCreated = true;
  }
  DoAfterOpen();
  DoCTSChange(ModemSignals().Contains(csCTS));
  DoDSRChange(ModemSignals().Contains(csDSR));
  DoRLSDChange(ModemSignals().Contains(csRLSD));
}

void TCustomComPort::ClosePort()
{
  if (!m_Connected)
    return;
  DoCTSChange(false);
  DoDSRChange(false);
  DoRLSDChange(false);
  DoBeforeClose();
  // No asynchronous read or write outlives its call here, so there is nothing to abort.
  if (m_ThreadCreated) {
    m_Thread->Stop();
    m_Thread.reset();
    m_ThreadCreated = false;
  }
  CloseDevice();
  {
    std::lock_guard lock(m_stageMutex);
    m_stage.clear();
    m_stageHead = 0;
    m_stageFull = false;
  }
  m_Connected = false;
  DoAfterClose();
}

// ---------------------------------------------------------------- port: reads and writes

std::size_t TCustomComPort::StageCapacity() const
{
  return std::max<std::size_t>(std::size_t(1) << 20, std::size_t(std::max(0, m_Buffer.InputSize())));
}

TCustomComPort::DrainResult TCustomComPort::DrainLocked()
{
  DrainResult r;
  const int fd = m_fd;
  if (fd < 0) {
    r.error = EBADF;
    return r;
  }
  if (m_stageHead == m_stage.size()) {
    m_stage.clear();
    m_stageHead = 0;
  } else if (m_stageHead > 65536) {
    m_stage.erase(m_stage.begin(), m_stage.begin() + static_cast<std::ptrdiff_t>(m_stageHead));
    m_stageHead = 0;
  }
  const std::size_t cap = StageCapacity();
  const bool dropNull = m_DiscardNull.load();
  const char eventChar = m_EventChar.load();
  char buf[4096];
  while (StagedLocked() < cap) {
    const std::size_t want = std::min(sizeof buf, cap - StagedLocked());
    const ssize_t n = ::read(fd, buf, want);
    if (n > 0) {
      r.consumed += std::size_t(n);
      for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == 0 && dropNull)
          continue;
        if (buf[i] == eventChar)
          r.sawEventChar = true;
        m_stage.push_back(buf[i]);
        ++r.added;
      }
      continue;
    }
    if (n == 0)
      break; // empty: with VMIN = 0 this is no end of file
    if (errno == EINTR)
      continue;
    if (errno != EAGAIN)
      r.error = errno;
    break;
  }
  m_stageFull = StagedLocked() >= cap;
  return r;
}

std::int32_t TCustomComPort::QueuedInputCount()
{
  std::size_t n;
  {
    std::lock_guard lock(m_stageMutex);
    const std::size_t before = StagedLocked();
    const DrainResult r = DrainLocked();
    n = StagedLocked();
    // Bytes already taken from the device stay readable after it failed (a hung-up device).
    if (n == 0 && r.error != 0)
      throw EComPort(ekQueueStatus, r.error);
    NoteMainThreadDrain(r, before, n);
  }
  if (m_owedRxEvents.load() != 0)
    WakeThread();
  return static_cast<std::int32_t>(std::min<std::size_t>(n, INT32_MAX));
}

std::int32_t TCustomComPort::ReadBytes(char* Buffer, std::int32_t Count)
{
  if (Count <= 0)
    return 0;
  if (!Buffer)
    throw EComPort(ekRead, EFAULT);
  bool wake = false;
  std::size_t n;
  {
    std::lock_guard lock(m_stageMutex);
    const bool wasFull = m_stageFull;
    const std::size_t before = StagedLocked();
    const DrainResult r = DrainLocked();
    const std::size_t avail = StagedLocked();
    if (avail == 0 && r.error != 0)
      throw EComPort(ekRead, r.error);
    n = std::min<std::size_t>(avail, std::size_t(Count));
    if (n > 0)
      std::memcpy(Buffer, m_stage.data() + m_stageHead, n);
    m_stageHead += n;
    NoteMainThreadDrain(r, before, StagedLocked());
    if (m_owedRxEvents.load() != 0)
      wake = true;
    if (wasFull && StagedLocked() < StageCapacity()) {
      m_stageFull = false;
      wake = true;
    }
  }
  if (wake)
    WakeThread();
  return static_cast<std::int32_t>(n);
}

std::int32_t TCustomComPort::ReadText(std::string& Text, std::int32_t Count)
{
  Text.clear();
  if (Count <= 0)
    return 0;
  Text.resize(std::size_t(Count));
  std::int32_t n = 0;
  try {
    n = ReadBytes(Text.data(), Count);
  } catch (...) {
    Text.clear();
    throw;
  }
  Text.resize(std::size_t(n));
  return n;
}

std::int32_t TCustomComPort::WriteText(const std::string& Text)
{
  if (Text.empty())
    return 0;
  using Clock = std::chrono::steady_clock;
  const int fd = m_fd;
  // The driver's write timeouts: constant plus multiplier per byte, as unsigned
  // milliseconds; both zero means no limit.
  const std::uint64_t constant = std::uint32_t(m_Timeouts.WriteTotalConstant());
  const std::uint64_t multiplier = std::uint32_t(m_Timeouts.WriteTotalMultiplier());
  const bool limited = constant != 0 || multiplier != 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(constant + multiplier * Text.size());
  auto remainingMs = [&]() -> int {
    if (!limited)
      return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : int(std::min<long long>(left, INT32_MAX));
  };

  std::size_t done = 0;
  while (done < Text.size()) {
    const ssize_t n = ::write(fd, Text.data() + done, Text.size() - done);
    if (n > 0) {
      done += std::size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno != EAGAIN)
      throw EComPort(ekWrite, errno);
    const int wait = remainingMs();
    if (wait == 0)
      throw EComPort(ekWrite, ETIMEDOUT);
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, wait) < 0 && errno != EINTR)
      throw EComPort(ekWrite, errno);
    if (p.revents & (POLLERR | POLLNVAL))
      throw EComPort(ekWrite, EIO);
  }
  // Complete means the bytes have left the driver's output queue.
  for (;;) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0) {
      if (errno == ENOTTY || errno == EINVAL)
        break; // no line discipline: nothing is queued
      throw EComPort(ekWrite, errno);
    }
    if (queued == 0)
      break;
    const int wait = remainingMs();
    if (wait == 0)
      throw EComPort(ekWrite, ETIMEDOUT);
    ::poll(nullptr, 0, wait < 0 ? 2 : std::min(wait, 2));
  }
  if (m_ThreadCreated && m_Events.Contains(evTxEmpty)) {
    m_txEmptyWanted = true;
    WakeThread();
  }
  return static_cast<std::int32_t>(std::min<std::size_t>(done, INT32_MAX));
}

void TCustomComPort::NoteMainThreadDrain(const DrainResult& r, std::size_t before, std::size_t afterRead)
{
  // The event thread only sees what it drains itself; bytes the main thread took
  // from the driver would otherwise wait, unannounced, until more arrive.
  if (r.added == 0)
    return;
  unsigned owed = 0;
  if (afterRead > 0)
    owed |= kOweRxChar;
  if (r.sawEventChar)
    owed |= kOweRxFlag;
  const std::size_t mark = std::size_t(std::max(0, m_Buffer.InputSize())) * 8 / 10;
  if (before < mark && before + r.added >= mark)
    owed |= kOweRx80Full;
  if (owed != 0)
    m_owedRxEvents.fetch_or(owed);
}

void TCustomComPort::WakeThread()
{
  if (m_Thread && m_Thread->m_wakeFd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_Thread->m_wakeFd, &one, sizeof one);
  }
}

// ---------------------------------------------------------------- port: device queries

TComEvents TCustomComPort::SampleLineCounters()
{
  TComEvents events;
  std::lock_guard lock(m_errMutex);
  if (!m_haveCounters)
    return events;
  serial_icounter_struct ic{};
  if (::ioctl(m_fd, TIOCGICOUNT, &ic) != 0)
    return events;
  Counters& c = m_counters;
  if (ic.cts != c.cts)
    events.Include(evCTS);
  if (ic.dsr != c.dsr)
    events.Include(evDSR);
  if (ic.rng != c.rng)
    events.Include(evRing);
  if (ic.dcd != c.dcd)
    events.Include(evRLSD);
  if (ic.brk != c.brk) {
    events.Include(evBreak);
    m_pendingErrors.Include(ceBreak);
  }
  auto error = [&](int now, int before, TComError e) {
    if (now != before) {
      m_pendingErrors.Include(e);
      events.Include(evError);
    }
  };
  error(ic.frame, c.frame, ceFrame);
  error(ic.overrun, c.overrun, ceOverrun);
  error(ic.parity, c.parity, ceRxParity);
  error(ic.buf_overrun, c.bufOverrun, ceRxOver);
  c = {ic.cts, ic.dsr, ic.rng, ic.dcd, ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
  return events;
}

TComErrors TCustomComPort::TakeLineErrors()
{
  if (::fcntl(m_fd, F_GETFL) < 0)
    throw EComPort(ekQueueStatus, errno);
  if (!m_ThreadCreated)
    SampleLineCounters(); // otherwise the event thread keeps the counters
  std::lock_guard lock(m_errMutex);
  TComErrors errors = m_pendingErrors;
  m_pendingErrors = {};
  if (!m_Parity.Check())
    errors.Exclude(ceRxParity);
  return errors;
}

TComSignals TCustomComPort::ModemSignals()
{
  int bits = 0;
  if (::ioctl(m_fd, TIOCMGET, &bits) != 0) {
    if (errno == ENOTTY || errno == EINVAL)
      return {}; // a device without modem lines: every line reads off
    throw EComPort(ekModemStatus, errno);
  }
  TComSignals s;
  if (bits & TIOCM_CTS)
    s.Include(csCTS);
  if (bits & TIOCM_DSR)
    s.Include(csDSR);
  if (bits & TIOCM_RNG)
    s.Include(csRing);
  if (bits & TIOCM_CD)
    s.Include(csRLSD);
  return s;
}

// ---------------------------------------------------------------- port: delivery

void TCustomComPort::DeliverKind(TComEvent kind)
{
  switch (kind) {
  case evRxChar:
    if (const std::int32_t count = QueuedInputCount(); count > 0)
      DoRxChar(count);
    break;
  case evError:
    if (const TComErrors errors = TakeLineErrors(); !errors.Empty())
      DoError(errors);
    break;
  case evCTS: DoCTSChange(ModemSignals().Contains(csCTS)); break;
  case evDSR: DoDSRChange(ModemSignals().Contains(csDSR)); break;
  case evRLSD: DoRLSDChange(ModemSignals().Contains(csRLSD)); break;
  case evTxEmpty: DoTxEmpty(); break;
  case evBreak: DoBreak(); break;
  case evRing: DoRing(); break;
  case evRxFlag: DoRxFlag(); break;
  case evRx80Full: DoRx80Full(); break;
  }
}

static constexpr TComEvent kDeliveryOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                               evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

void TCustomComPort::DeliverBatch(TComEvents batch)
{
  for (TComEvent kind : kDeliveryOrder)
    if (batch.Contains(kind))
      DeliverKind(kind);
}

void TCustomComPort::DeliverFromSlot(const std::shared_ptr<TComHandOver>& slot, bool fromEventLoop)
{
  TComEvents batch;
  bool window;
  {
    std::lock_guard lock(slot->mutex);
    if (!slot->posted)
      return; // already delivered by ClosePort
    slot->posted = false;
    batch = slot->events;
    window = slot->windowSync;
    if (window) {
      slot->done = true; // the sender is released before delivery
      slot->cv.notify_all();
    }
  }
  try {
    if (window) {
      if (m_Connected)
        DeliverBatch(batch);
    } else {
      DeliverBatch(batch);
    }
  } catch (...) {
    if (!window) {
      std::lock_guard lock(slot->mutex);
      slot->failed = true;
      slot->done = true;
      slot->cv.notify_all();
    }
    if (fromEventLoop)
      throw; // the application's notify() shows it
    PostToApplication(std::current_exception());
    return;
  }
  if (!window) {
    std::lock_guard lock(slot->mutex);
    slot->done = true;
    slot->cv.notify_all();
  }
}

bool TCustomComPort::HandOverWaiting() const
{
  if (!m_Thread)
    return false;
  std::lock_guard lock(m_Thread->m_slot->mutex);
  return m_Thread->m_slot->posted;
}

// ---------------------------------------------------------------- event hooks

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(this); }
void TCustomComPort::DoRxChar(std::int32_t Count) { if (OnRxChar) OnRxChar(this, Count); }
void TCustomComPort::DoRxBuf(const char* Buffer, std::int32_t Count) { if (OnRxBuf) OnRxBuf(this, Buffer, Count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(this); }
void TCustomComPort::DoCTSChange(bool OnOff) { if (OnCTSChange) OnCTSChange(this, OnOff); }
void TCustomComPort::DoDSRChange(bool OnOff) { if (OnDSRChange) OnDSRChange(this, OnOff); }
void TCustomComPort::DoError(TComErrors Errors) { if (OnError) OnError(this, Errors); }
void TCustomComPort::DoRLSDChange(bool OnOff) { if (OnRLSDChange) OnRLSDChange(this, OnOff); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(this); }

// ---------------------------------------------------------------- event thread

TComThread::TComThread(TCustomComPort* owner)
  : m_owner(owner), m_wanted(owner->Events()), m_slot(std::make_shared<TComHandOver>())
{
  // The name the system shows for the thread (ps, top, a debugger), and by
  // which a check can tell the port's threads from the toolkit's own.
  setObjectName(QStringLiteral("TComThread"));
  m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_stopFd < 0 || m_wakeFd < 0) {
    const int e = errno;
    if (m_stopFd >= 0)
      ::close(m_stopFd);
    if (m_wakeFd >= 0)
      ::close(m_wakeFd);
    throw EComPort(ekThreadCreated, e);
  }
}

TComThread::~TComThread()
{
  if (isRunning())
    Stop();
  ::close(m_stopFd);
  ::close(m_wakeFd);
}

TComEvents TComThread::Events() const
{
  std::lock_guard lock(m_slot->mutex);
  return m_slot->events;
}

void TComThread::Stop()
{
  {
    std::lock_guard lock(m_slot->mutex);
    m_slot->stopRequested = true;
    m_slot->cv.notify_all();
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(m_stopFd, &one, sizeof one);
  QThread::yieldCurrentThread();
  // Keep serving hand-overs while waiting: a batch that waits for this thread is
  // delivered here, before the port is released.
  for (;;) {
    std::unique_lock lock(m_slot->mutex);
    m_slot->cv.wait(lock, [&] { return m_slot->posted || m_slot->finished; });
    if (!m_slot->posted)
      break;
    lock.unlock();
    m_owner->DeliverFromSlot(m_slot, false);
  }
  wait();
}

bool TComThread::PostAndWait(TComEvents batch, bool windowSync)
{
  std::unique_lock lock(m_slot->mutex);
  if (m_slot->stopRequested || m_slot->failed)
    return false;
  m_slot->events = batch;
  m_slot->windowSync = windowSync;
  m_slot->posted = true;
  m_slot->done = false;
  m_slot->cv.notify_all(); // ClosePort may be waiting for exactly this
  lock.unlock();
  TCustomComPort* port = m_owner;
  std::shared_ptr<TComHandOver> slot = m_slot;
  QMetaObject::invokeMethod(port, [port, slot] { port->DeliverFromSlot(slot, true); }, Qt::QueuedConnection);
  lock.lock();
  // A handler that calls ClosePort while its batch is being delivered leaves the batch
  // taken but not done: the stop request ends the wait then.
  m_slot->cv.wait(lock, [&] { return m_slot->done || (m_slot->stopRequested && !m_slot->posted); });
  return m_slot->done && !m_slot->failed;
}

bool TComThread::HandOver(TComEvents batch)
{
  switch (m_owner->SyncMethod()) {
  case smNone:
    try {
      m_owner->DeliverBatch(batch);
    } catch (...) {
      {
        std::lock_guard lock(m_slot->mutex);
        m_slot->failed = true;
      }
      PostToApplication(std::current_exception());
      return false;
    }
    return true;
  case smWindowSync:
    for (TComEvent kind : kDeliveryOrder)
      if (batch.Contains(kind) && !PostAndWait(TComEvents{kind}, true))
        return false;
    return true;
  case smThreadSync:
  default:
    return PostAndWait(batch, false);
  }
}

void TComThread::run()
{
  TCustomComPort* const port = m_owner;
  const int fd = port->m_fd;
  const bool watchRx =
    m_wanted.Contains(evRxChar) || m_wanted.Contains(evRxFlag) || m_wanted.Contains(evRx80Full);
  const TComEvents lineEvents{evCTS, evDSR, evRLSD, evRing, evBreak, evError};
  bool watchLines;
  {
    std::lock_guard lock(port->m_errMutex);
    watchLines = port->m_haveCounters && !(m_wanted & lineEvents).Empty();
  }
  bool hungUp = false;

  for (;;) {
    bool full;
    {
      std::lock_guard lock(port->m_stageMutex);
      full = port->m_stageFull;
    }
    // Input is waited for only while there is room to take it; the device is left
    // alone after a hang-up, so that neither case spins.
    pollfd fds[3] = {{m_stopFd, POLLIN, 0},
                     {m_wakeFd, POLLIN, 0},
                     {hungUp ? -1 : fd, short((watchRx && !full) ? POLLIN : 0), 0}};
    // The line counters have no wake-up of their own: look at them now and then.
    const int timeout = (watchLines && !hungUp) ? 50 : -1;
    const int r = ::poll(fds, 3, timeout);
    if (r < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    if (fds[0].revents)
      break;

    TComEvents batch;
    if (fds[1].revents & POLLIN) {
      std::uint64_t v;
      [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &v, sizeof v);
      if (port->m_txEmptyWanted.exchange(false) && m_wanted.Contains(evTxEmpty))
        batch.Include(evTxEmpty);
      const unsigned owed = port->m_owedRxEvents.exchange(0);
      if ((owed & TCustomComPort::kOweRxChar) && m_wanted.Contains(evRxChar))
        batch.Include(evRxChar);
      if ((owed & TCustomComPort::kOweRxFlag) && m_wanted.Contains(evRxFlag))
        batch.Include(evRxFlag);
      if ((owed & TCustomComPort::kOweRx80Full) && m_wanted.Contains(evRx80Full))
        batch.Include(evRx80Full);
    }
    const short rev = fds[2].revents;
    if (rev & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
      TCustomComPort::DrainResult d;
      std::size_t before, after, mark;
      {
        std::lock_guard lock(port->m_stageMutex);
        before = port->StagedLocked();
        d = port->DrainLocked();
        after = port->StagedLocked();
        mark = std::size_t(std::max(0, port->m_Buffer.InputSize())) * 8 / 10;
      }
      if (d.added > 0) {
        if (m_wanted.Contains(evRxChar))
          batch.Include(evRxChar);
        if (d.sawEventChar && m_wanted.Contains(evRxFlag))
          batch.Include(evRxFlag);
        if (before < mark && after >= mark && m_wanted.Contains(evRx80Full))
          batch.Include(evRx80Full);
      }
      if ((rev & (POLLHUP | POLLERR | POLLNVAL)) || (d.error != 0 && d.error != EBADF)) {
        // The device went away (cable, adapter, the other end of a pseudo-terminal):
        // report it once and stop waiting on it.
        hungUp = true;
        {
          std::lock_guard lock(port->m_errMutex);
          port->m_pendingErrors.Include(ceIO);
        }
        if (m_wanted.Contains(evError))
          batch.Include(evError);
      }
    }
    if (watchLines && !hungUp)
      batch |= port->SampleLineCounters() & m_wanted;
    if (!batch.Empty() && !HandOver(batch))
      break;
  }

  std::lock_guard lock(m_slot->mutex);
  m_slot->finished = true;
  m_slot->cv.notify_all();
}

// Stored settings live in comsettings.cpp.

namespace dz {

void SetProgramPortDefaults(TCustomComPort& port)
{
  port.SetName("ComPort");
  port.SetPort("COM1");
  port.SetBaudRate(br1200);
  port.SetDataBits(dbEight);
  port.SetStopBits(sbOneStopBit);
  port.Parity().SetBits(prNone);
  port.SetDiscardNull(true);
  port.Buffer().SetInputSize(4096);
  port.FlowControl().SetControlDTR(dtrEnable);
  port.FlowControl().SetControlRTS(rtsDisable);
  port.FlowControl().SetOutCTSFlow(false);
  port.FlowControl().SetOutDSRFlow(false);
  port.FlowControl().SetXonXoffOut(false);
  port.FlowControl().SetXonXoffIn(false);
}

} // namespace dz
