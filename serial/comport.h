#pragma once

// The serial port component: one device, its line settings, an event thread that
// waits on the device and hands batches of events to the main thread.
// QtCore only: the command-line tool links this without QtWidgets.

#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

// A small set over an enumeration whose values are bit positions (0..31).
template <typename E>
class TSet {
public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values)
  {
    for (E v : values)
      m_bits |= Bit(v);
  }
  static constexpr TSet FromBits(std::uint32_t bits)
  {
    TSet s;
    s.m_bits = bits;
    return s;
  }
  constexpr bool Contains(E v) const { return (m_bits & Bit(v)) != 0; }
  constexpr void Include(E v) { m_bits |= Bit(v); }
  constexpr void Exclude(E v) { m_bits &= ~Bit(v); }
  constexpr bool Empty() const { return m_bits == 0; }
  constexpr std::uint32_t Bits() const { return m_bits; }
  constexpr TSet operator|(TSet o) const { return FromBits(m_bits | o.m_bits); }
  constexpr TSet operator&(TSet o) const { return FromBits(m_bits & o.m_bits); }
  constexpr TSet& operator|=(TSet o)
  {
    m_bits |= o.m_bits;
    return *this;
  }
  constexpr bool operator==(const TSet&) const = default;

private:
  static constexpr std::uint32_t Bit(E v) { return std::uint32_t(1) << static_cast<int>(v); }
  std::uint32_t m_bits = 0;
};

enum TBaudRate {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
  br38400, br56000, br57600, br115200, br128000, br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };

enum TComEvent {
  evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
using TComEvents = TSet<TComEvent>;
inline constexpr TComEvents AllComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak,
                                         evCTS,    evDSR,     evError,  evRLSD, evRx80Full};

// Line errors, in bit order: framing, parity, overrun, break, device I/O, mode,
// receive-queue overflow, transmit-queue full.
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
using TComErrors = TSet<TComError>;

// Modem lines, in bit order.
enum TComSignal { csCTS, csDSR, csRing, csRLSD };
using TComSignals = TSet<TComSignal>;

enum TSettingsStore { ssRegistry, ssIniFile };
enum TSettingGroup { sgBasic, sgFlowControl, sgBuffer, sgTimeouts, sgParity, sgOthers };
using TSettingGroups = TSet<TSettingGroup>;

// The 23 error kinds; the number is ErrorKind().
enum TComErrorKind {
  ekOpenDevice = 1, ekWrite, ekRead, ekAsyncRecord, ekPurge, ekAsyncStatus, ekLineSettings,
  ekTimeouts, ekQueueSizes, ekQueueStatus, ekModemStatus, ekEscape, ekTransmitChar,
  ekConnectedProperty, ekEnumPorts, ekStoreSettings, ekLoadSettings, ekLink, ekLedState,
  ekThreadCreated, ekWaitForEvent, ekRxBufLinked, ekRegistry
};

// The port's error. what() is the exact text the user sees, e.g.
// "Unable to open com port (win error code: 2)"; the number is the errno of the failing call.
class EComPort : public std::runtime_error {
public:
  // Kind with a system error code (errno); -1 gives the bare text.
  EComPort(int kind, int systemError);
  explicit EComPort(int kind) : EComPort(kind, -1) {}
  int ErrorKind() const { return m_kind; }
  int SystemError() const { return m_systemError; }
  static std::string KindText(int kind);

private:
  int m_kind;
  int m_systemError;
};

class TCustomComPort;

// Owned settings objects: each tells its port to apply its group after a change.
class TComParity {
public:
  explicit TComParity(TCustomComPort* port = nullptr) : m_port(port) {}
  TComParity(const TComParity&) = delete;
  TComParity& operator=(const TComParity&) = delete;
  void Assign(const TComParity& src); // copies every field, applies once

  TParityBits Bits() const { return m_Bits; }
  bool Check() const { return m_Check; }
  bool Replace() const { return m_Replace; }
  char ReplaceChar() const { return m_ReplaceChar; }
  void SetBits(TParityBits v);
  void SetCheck(bool v);
  void SetReplace(bool v);
  void SetReplaceChar(char v);

private:
  void Changed();
  TCustomComPort* m_port;
  TParityBits m_Bits = prNone;
  bool m_Check = false;
  bool m_Replace = false;
  char m_ReplaceChar = 0;
};

class TComFlowControl {
public:
  explicit TComFlowControl(TCustomComPort* port = nullptr) : m_port(port) {}
  TComFlowControl(const TComFlowControl&) = delete;
  TComFlowControl& operator=(const TComFlowControl&) = delete;
  void Assign(const TComFlowControl& src);

  // The shortcut: computed from the fields below, never stored.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl v);

  bool OutCTSFlow() const { return m_OutCTSFlow; }
  bool OutDSRFlow() const { return m_OutDSRFlow; }
  TDTRFlowControl ControlDTR() const { return m_ControlDTR; }
  TRTSFlowControl ControlRTS() const { return m_ControlRTS; }
  bool XonXoffOut() const { return m_XonXoffOut; }
  bool XonXoffIn() const { return m_XonXoffIn; }
  bool DSRSensitivity() const { return m_DSRSensitivity; }
  bool TxContinueOnXoff() const { return m_TxContinueOnXoff; }
  char XonChar() const { return m_XonChar; }
  char XoffChar() const { return m_XoffChar; }
  void SetOutCTSFlow(bool v);
  void SetOutDSRFlow(bool v);
  void SetControlDTR(TDTRFlowControl v);
  void SetControlRTS(TRTSFlowControl v);
  void SetXonXoffOut(bool v);
  void SetXonXoffIn(bool v);
  void SetDSRSensitivity(bool v);
  void SetTxContinueOnXoff(bool v);
  void SetXonChar(char v);
  void SetXoffChar(char v);

private:
  template <typename T>
  void Set(T& field, T v);
  void Changed();
  TCustomComPort* m_port;
  bool m_OutCTSFlow = false;
  bool m_OutDSRFlow = false;
  TDTRFlowControl m_ControlDTR = dtrDisable;
  TRTSFlowControl m_ControlRTS = rtsDisable;
  bool m_XonXoffOut = false;
  bool m_XonXoffIn = false;
  bool m_DSRSensitivity = false;
  bool m_TxContinueOnXoff = false;
  char m_XonChar = 17;
  char m_XoffChar = 19;
};

class TComTimeouts {
public:
  explicit TComTimeouts(TCustomComPort* port = nullptr) : m_port(port) {}
  TComTimeouts(const TComTimeouts&) = delete;
  TComTimeouts& operator=(const TComTimeouts&) = delete;
  void Assign(const TComTimeouts& src);

  std::int32_t ReadInterval() const { return m_ReadInterval; }
  std::int32_t ReadTotalMultiplier() const { return m_ReadTotalMultiplier; }
  std::int32_t ReadTotalConstant() const { return m_ReadTotalConstant; }
  std::int32_t WriteTotalMultiplier() const { return m_WriteTotalMultiplier; }
  std::int32_t WriteTotalConstant() const { return m_WriteTotalConstant; }
  void SetReadInterval(std::int32_t v);
  void SetReadTotalMultiplier(std::int32_t v);
  void SetReadTotalConstant(std::int32_t v);
  void SetWriteTotalMultiplier(std::int32_t v);
  void SetWriteTotalConstant(std::int32_t v);

private:
  void Set(std::int32_t& field, std::int32_t v);
  TCustomComPort* m_port;
  std::int32_t m_ReadInterval = -1;
  std::int32_t m_ReadTotalMultiplier = 0;
  std::int32_t m_ReadTotalConstant = 0;
  std::int32_t m_WriteTotalMultiplier = 100;
  std::int32_t m_WriteTotalConstant = 1000;
};

class TComBuffer {
public:
  explicit TComBuffer(TCustomComPort* port = nullptr) : m_port(port) {}
  TComBuffer(const TComBuffer&) = delete;
  TComBuffer& operator=(const TComBuffer&) = delete;
  void Assign(const TComBuffer& src);

  std::int32_t InputSize() const { return m_InputSize; }
  std::int32_t OutputSize() const { return m_OutputSize; }
  // An odd positive size is stored less one, so stored sizes are even.
  void SetInputSize(std::int32_t v);
  void SetOutputSize(std::int32_t v);

private:
  void Set(std::int32_t& field, std::int32_t v);
  TCustomComPort* m_port;
  std::int32_t m_InputSize = 1024;
  std::int32_t m_OutputSize = 1024;
};

// The meeting point of the event thread and the main thread: one batch at a time.
// Shared by the thread and the calls it posts, so a late posted call never touches
// a thread object that ClosePort has already released.
struct TComHandOver {
  std::mutex mutex;
  std::condition_variable cv;
  TComEvents events;          // the batch being handed over
  bool windowSync = false;    // release the thread before delivering (one kind per batch)
  bool posted = false;        // waits to be taken by the main thread
  bool done = false;          // the taken batch has been delivered
  bool stopRequested = false;
  bool finished = false;      // the thread has left its loop
  bool failed = false;        // a handler raised: nothing more is delivered
};

// Waits on the device and hands each batch of events to the port's thread.
class TComThread : public QThread {
public:
  explicit TComThread(TCustomComPort* owner);
  ~TComThread() override;

  // The event set of the batch being handed over.
  TComEvents Events() const;

protected:
  void run() override;

private:
  friend class TCustomComPort;
  bool HandOver(TComEvents batch);
  bool PostAndWait(TComEvents batch, bool windowSync);
  // Main thread: raises the stop signal, then serves hand-overs until the thread has ended.
  void Stop();

  TCustomComPort* m_owner;
  TComEvents m_wanted;   // the port's Events at OpenPort
  int m_stopFd = -1;     // eventfd: the stop signal
  int m_wakeFd = -1;     // eventfd: transmit done, or room again in the input staging buffer
  std::shared_ptr<TComHandOver> m_slot;
};

class TCustomComPort : public QObject {
public:
  using TNotifyEvent = std::function<void(TCustomComPort* Sender)>;
  using TRxCharEvent = std::function<void(TCustomComPort* Sender, std::int32_t Count)>;
  using TRxBufEvent = std::function<void(TCustomComPort* Sender, const char* Buffer, std::int32_t Count)>;
  using TComSignalEvent = std::function<void(TCustomComPort* Sender, bool OnOff)>;
  using TComErrorEvent = std::function<void(TCustomComPort* Sender, TComErrors Errors)>;

  explicit TCustomComPort(QObject* owner = nullptr);
  ~TCustomComPort() override;

  // Component name, used as registry key / INI section of the stored settings.
  std::string Name() const { return objectName().toStdString(); }
  void SetName(const std::string& name) { setObjectName(QString::fromStdString(name)); }

  // --- settings
  bool Connected() const { return m_Connected; }
  void SetConnected(bool v);
  const std::string& Port() const { return m_Port; }
  void SetPort(const std::string& v);
  TBaudRate BaudRate() const { return m_BaudRate; }
  void SetBaudRate(TBaudRate v);
  std::int32_t CustomBaudRate() const { return m_CustomBaudRate; }
  void SetCustomBaudRate(std::int32_t v);
  TDataBits DataBits() const { return m_DataBits; }
  void SetDataBits(TDataBits v);
  TStopBits StopBits() const { return m_StopBits; }
  void SetStopBits(TStopBits v);
  bool DiscardNull() const { return m_DiscardNull.load(); }
  void SetDiscardNull(bool v);
  char EventChar() const { return m_EventChar.load(); }
  void SetEventChar(char v);
  TComEvents Events() const { return m_Events; }
  void SetEvents(TComEvents v) { m_Events = v; } // takes effect at the next OpenPort
  TSyncMethod SyncMethod() const { return m_SyncMethod.load(); }
  void SetSyncMethod(TSyncMethod v); // kind 14 while open
  TSettingGroups SavedGroups() const { return m_SavedGroups; }
  void SetSavedGroups(TSettingGroups v) { m_SavedGroups = v; }

  TComParity& Parity() { return m_Parity; }
  const TComParity& Parity() const { return m_Parity; }
  void SetParity(const TComParity& v) { m_Parity.Assign(v); }
  TComFlowControl& FlowControl() { return m_FlowControl; }
  const TComFlowControl& FlowControl() const { return m_FlowControl; }
  void SetFlowControl(const TComFlowControl& v) { m_FlowControl.Assign(v); }
  TComTimeouts& Timeouts() { return m_Timeouts; }
  const TComTimeouts& Timeouts() const { return m_Timeouts; }
  void SetTimeouts(const TComTimeouts& v) { m_Timeouts.Assign(v); }
  TComBuffer& Buffer() { return m_Buffer; }
  const TComBuffer& Buffer() const { return m_Buffer; }
  void SetBuffer(const TComBuffer& v) { m_Buffer.Assign(v); }

  // The rate in bits per second that BaudRate stands for.
  std::int32_t EffectiveBaudRate() const;
  // The device path that Port designates ("COM1" -> /dev/ttyS0, "ttyUSB0" ->
  // /dev/ttyUSB0); a name holding "/" is a path as given.
  static std::string DevicePath(const std::string& port);

  // --- operations
  void OpenPort();
  void ClosePort();
  std::int32_t WriteText(const std::string& Text);
  std::int32_t ReadText(std::string& Text, std::int32_t Count);
  std::int32_t ReadBytes(char* Buffer, std::int32_t Count);
  std::int32_t QueuedInputCount();
  TComSignals ModemSignals();
  TComErrors TakeLineErrors();
  void SuspendApply();
  void ResumeApply();
  // Whether a batch of events waits for this thread to deliver it (diagnostics).
  bool HandOverWaiting() const;
  virtual void ApplyAllSettings();

  // Stored settings; Location is a registry location ("HKEY_LOCAL_MACHINE\Software\vexa")
  // or an INI file path. Failures raise kind 16 / 17.
  void SaveSettings(TSettingsStore Store, const std::string& Location);
  void RestoreSettings(TSettingsStore Store, const std::string& Location);

  // --- handlers (public slots; unassigned ones do nothing)
  TNotifyEvent OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
  TRxCharEvent OnRxChar;
  TRxBufEvent OnRxBuf;
  TNotifyEvent OnTxEmpty, OnBreak, OnRing;
  TComSignalEvent OnCTSChange, OnDSRChange;
  TComSignalEvent OnRLSDChange;
  TNotifyEvent OnRxFlag;
  TComErrorEvent OnError;
  TNotifyEvent OnRx80Full;

protected:
  virtual void SaveToRegistry(const std::string& Location);
  virtual void SaveToIniFile(const std::string& FileName);
  virtual void RestoreFromRegistry(const std::string& Location);
  virtual void RestoreFromIniFile(const std::string& FileName);
  virtual void OpenDevice();
  virtual void CloseDevice();

  virtual void DoAfterClose();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoBeforeOpen();
  virtual void DoRxChar(std::int32_t Count);
  virtual void DoRxBuf(const char* Buffer, std::int32_t Count);
  virtual void DoTxEmpty();
  virtual void DoBreak();
  virtual void DoRing();
  virtual void DoRxFlag();
  virtual void DoCTSChange(bool OnOff);
  virtual void DoDSRChange(bool OnOff);
  virtual void DoError(TComErrors Errors);
  virtual void DoRLSDChange(bool OnOff);
  virtual void DoRx80Full();

  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyQueueSizes();

private:
  friend class TComParity;
  friend class TComFlowControl;
  friend class TComTimeouts;
  friend class TComBuffer;
  friend class TComThread;

  bool CanApply() const;
  void DeliverBatch(TComEvents batch);       // smThreadSync / smNone order
  // Main thread: delivers the batch waiting in the slot, if any. From a posted call an
  // error is rethrown to the application's error box; from ClosePort it is re-posted.
  void DeliverFromSlot(const std::shared_ptr<TComHandOver>& slot, bool fromEventLoop);
  void WakeThread();
  void DeliverKind(TComEvent kind);

  // Input staging: the driver's bytes are moved here (NULs dropped while DiscardNull is
  // on) so that Count and ReadText agree exactly. Guarded by m_stageMutex.
  struct DrainResult {
    std::size_t added = 0;    // bytes kept
    std::size_t consumed = 0; // bytes taken from the driver
    int error = 0;            // errno of a failed read, 0 if none
    bool sawEventChar = false;
  };
  DrainResult DrainLocked();
  std::size_t StagedLocked() const { return m_stage.size() - m_stageHead; }
  std::size_t StageCapacity() const;
  // Line error counters of the device (where it has them), turned into events and errors.
  TComEvents SampleLineCounters();

  std::string m_Port = "COM1";
  TBaudRate m_BaudRate = br9600;
  std::int32_t m_CustomBaudRate = 9600;
  TDataBits m_DataBits = dbEight;
  TStopBits m_StopBits = sbOneStopBit;
  TComParity m_Parity{this};
  TComFlowControl m_FlowControl{this};
  TComTimeouts m_Timeouts{this};
  TComBuffer m_Buffer{this};
  std::atomic<bool> m_DiscardNull{false};
  std::atomic<char> m_EventChar{0};
  TComEvents m_Events = AllComEvents;
  std::atomic<TSyncMethod> m_SyncMethod{smThreadSync};
  TSettingGroups m_SavedGroups{sgBasic};

  bool m_Connected = false;
  std::atomic<int> m_fd{-1};
  std::unique_ptr<TComThread> m_Thread;
  bool m_ThreadCreated = false;
  int m_UpdateCount = 0; // batch depth of SuspendApply / ResumeApply

  mutable std::mutex m_stageMutex;
  std::vector<char> m_stage;
  std::size_t m_stageHead = 0;
  bool m_stageFull = false; // the thread stopped reading the driver until room is made

  std::mutex m_errMutex;
  TComErrors m_pendingErrors;
  bool m_haveCounters = false;
  struct Counters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0, frame = 0, overrun = 0, parity = 0, brk = 0,
        bufOverrun = 0;
  } m_counters;
  std::atomic<bool> m_txEmptyWanted{false};
  // Receive events owed for bytes that a read on the main thread took from the
  // driver into the staging buffer: the event thread raises them on its next turn.
  enum : unsigned { kOweRxChar = 1, kOweRxFlag = 2, kOweRx80Full = 4 };
  std::atomic<unsigned> m_owedRxEvents{0};
  void NoteMainThreadDrain(const DrainResult& r, std::size_t before, std::size_t afterRead);
};

// Publishes the behaviour of TCustomComPort; nothing of its own.
class TComPort : public TCustomComPort {
public:
  using TCustomComPort::TCustomComPort;
};

namespace dz {

// Where the program keeps its port settings (under the component name "ComPort").
inline constexpr const char* kStoredSettingsLocation = "HKEY_LOCAL_MACHINE\\Software\\vexa";

// The line settings the program's port starts with, before the stored ones are
// restored: named "ComPort", "COM1" at 1200 baud 8N1, NUL discarded, a 4096-byte
// input queue, DTR on, RTS off, no flow control. The window and the command line
// both set up their port with it.
void SetProgramPortDefaults(TCustomComPort& port);

} // namespace dz
