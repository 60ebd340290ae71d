// Stored port settings: text forms, the registry-file store and the INI form.

#include "comsettings.h"
#include "inifile.h"
#include "regstore.h"
#include "ptypair.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kLocation = "HKEY_LOCAL_MACHINE\\Software\\vexa";

// The main window's port as it starts.
void SetUpLikeMainWindow(TCustomComPort& p)
{
  p.SetName("ComPort");
  p.SetPort("COM1");
  p.SetBaudRate(br1200);
  p.SetDiscardNull(true);
  p.Buffer().SetInputSize(4096);
  p.Parity().SetBits(prNone);
  p.FlowControl().SetControlDTR(dtrEnable);
  p.FlowControl().SetControlRTS(rtsDisable);
}

QByteArray ReadFile(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& content)
{
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(content);
}

int KindOf(const std::function<void()>& call)
{
  try {
    call();
  } catch (const EComPort& e) {
    return e.ErrorKind();
  }
  return 0;
}

} // namespace

class TestComSettings : public QObject {
  Q_OBJECT

  QTemporaryDir m_config;
  QString LmFile() const { return m_config.path() + "/dedizivi/HKEY_LOCAL_MACHINE.reg"; }
  QString CuFile() const { return m_config.path() + "/dedizivi/HKEY_CURRENT_USER.reg"; }

private slots:
  void init()
  {
    QVERIFY(m_config.isValid());
    QDir(m_config.path()).removeRecursively();
    QDir().mkpath(m_config.path());
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
  }

  void textForms()
  {
    const char* rates[] = {"Custom", "110",   "300",   "600",    "1200",   "2400",  "4800",  "9600",
                           "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
    for (int i = 0; i <= br256000; ++i) {
      QCOMPARE(BaudRateText(TBaudRate(i)), std::string(rates[i]));
      QCOMPARE(ParseBaudRate(rates[i]), TBaudRate(i));
    }
    // Every entry of every table, both ways: the stored texts are what other
    // programs reading the same settings expect.
    const char* stops[] = {"1", "1.5", "2"};
    for (int i = 0; i <= sbTwoStopBits; ++i) {
      QCOMPARE(StopBitsText(TStopBits(i)), std::string(stops[i]));
      QCOMPARE(ParseStopBits(stops[i]), TStopBits(i));
    }
    const char* sizes[] = {"5", "6", "7", "8"};
    for (int i = 0; i <= dbEight; ++i) {
      QCOMPARE(DataBitsText(TDataBits(i)), std::string(sizes[i]));
      QCOMPARE(ParseDataBits(sizes[i]), TDataBits(i));
    }
    const char* parities[] = {"None", "Odd", "Even", "Mark", "Space"};
    for (int i = 0; i <= prSpace; ++i) {
      QCOMPARE(ParityText(TParityBits(i)), std::string(parities[i]));
      QCOMPARE(ParseParity(parities[i]), TParityBits(i));
    }
    const char* flows[] = {"Hardware", "Software", "None", "Custom"};
    for (int i = 0; i <= fcCustom; ++i) {
      QCOMPARE(FlowControlText(TFlowControl(i)), std::string(flows[i]));
      QCOMPARE(ParseFlowControl(flows[i]), TFlowControl(i));
    }
    const char* dtrs[] = {"Disable", "Enable", "Handshake"};
    for (int i = 0; i <= dtrHandshake; ++i) {
      QCOMPARE(DTRText(TDTRFlowControl(i)), std::string(dtrs[i]));
      QCOMPARE(ParseDTR(dtrs[i]), TDTRFlowControl(i));
    }
    const char* rtss[] = {"Disable", "Enable", "Handshake", "Toggle"};
    for (int i = 0; i <= rtsToggle; ++i) {
      QCOMPARE(RTSText(TRTSFlowControl(i)), std::string(rtss[i]));
      QCOMPARE(ParseRTS(rtss[i]), TRTSFlowControl(i));
    }
    QCOMPARE(ParseBaudRate("abc"), br9600);
    QCOMPARE(ParseBaudRate("custom"), brCustom);
    QCOMPARE(ParseBaudRate(" 1200"), br9600); // exact match only
    QCOMPARE(ParseStopBits("3"), sbOneStopBit);
    QCOMPARE(ParseDataBits("9"), dbEight);
    QCOMPARE(ParseParity("none"), prNone);
    QCOMPARE(ParseParity("sPaCe"), prSpace);
    QCOMPARE(ParseParity(""), prNone);
    QCOMPARE(ParseFlowControl("HARDWARE"), fcHardware);
    QCOMPARE(ParseFlowControl(""), fcCustom);
    QCOMPARE(ParseDTR("enable"), dtrEnable);
    QCOMPARE(ParseDTR("toggle"), dtrDisable);
    QCOMPARE(ParseRTS("TOGGLE"), rtsToggle);
    QCOMPARE(ParseRTS("x"), rtsDisable);
    QCOMPARE(YesNoText(true), std::string("Yes"));
    QCOMPARE(YesNoText(false), std::string("No"));
    QVERIFY(ParseYesNo("yEs"));
    QVERIFY(!ParseYesNo("y"));
    QVERIFY(!ParseYesNo(""));
    QVERIFY(!ParseYesNo("true"));
  }

  void characterForms()
  {
    QCOMPARE(CharText(' '), std::string("#32"));
    QCOMPARE(CharText('A'), std::string("A"));
    QCOMPARE(CharText('!'), std::string("!"));
    QCOMPARE(CharText(char(127)), std::string("\x7f"));
    QCOMPARE(CharText(char(200)), std::string("#200"));
    QCOMPARE(CharText(0), std::string("#0"));
    QCOMPARE(CharText(17), std::string("#17"));
    QCOMPARE(ParseChar("#"), '#');
    QCOMPARE(ParseChar("#x"), '\0');
    QCOMPARE(ParseChar("AB"), 'A');
    QCOMPARE(ParseChar(""), '\0');
    QCOMPARE(ParseChar("#17"), char(17));
    QCOMPARE(ParseChar("#300"), char(300 & 0xFF));
    QCOMPARE(ParseChar("#99999999999999"), '\0'); // no integer
    for (int c = 0; c < 256; ++c)
      QCOMPARE(int(static_cast<unsigned char>(ParseChar(CharText(char(c))))), c);
  }

  void locations()
  {
    TSettingsKey k = OpenSettingsKey("Software\\vexa", "ComPort");
    QVERIFY(k.opened);
    QCOMPARE(k.root, std::string("HKEY_CURRENT_USER"));
    QCOMPARE(k.path, std::string("vexa\\ComPort"));
    k = OpenSettingsKey("HKEY_CURRENT_USER\\Software\\vexa\\", "ComPort");
    QCOMPARE(k.root, std::string("HKEY_CURRENT_USER"));
    QCOMPARE(k.path, std::string("Software\\vexa\\ComPort"));
    k = OpenSettingsKey("hkey_local_machine\\Software\\vexa", "ComPort");
    QCOMPARE(k.root, std::string("HKEY_LOCAL_MACHINE"));
    QCOMPARE(k.path, std::string("Software\\vexa\\ComPort"));
    QVERIFY(!OpenSettingsKey("NoBackslash", "ComPort").opened);
    QVERIFY(!OpenSettingsKey("HKEY_CURRENT_USER\\", "ComPort").opened);
    QVERIFY(!OpenSettingsKey("HKEY_CURRENT_USER\\a\\\\b", "ComPort").opened);
    QVERIFY(!OpenSettingsKey("HKEY_CURRENT_USER\\a", "").opened);

    // The default root really is a place of its own.
    TComPort p;
    SetUpLikeMainWindow(p);
    p.SaveSettings(ssRegistry, "Software\\vexa");
    QVERIFY(ReadFile(CuFile()).contains("[HKEY_CURRENT_USER\\vexa\\ComPort]"));
    QVERIFY(!QFile::exists(LmFile()));
  }

  void savesTheMainWindowsSixValues()
  {
    TComPort p;
    SetUpLikeMainWindow(p);
    p.SaveSettings(ssRegistry, kLocation);
    const QByteArray content = ReadFile(LmFile());
    std::optional<dz::RegFile> file = dz::RegFile::Parse(content.toStdString());
    QVERIFY(file);
    const dz::RegKey* key = file->Find("HKEY_LOCAL_MACHINE\\Software\\vexa\\ComPort");
    QVERIFY(key);
    const std::vector<std::pair<std::string, std::string>> expected = {
      {"Port", "COM1"},     {"BaudRate", "1200"}, {"StopBits", "1"},
      {"DataBits", "8"},    {"Parity", "None"},   {"FlowControl", "None"}};
    QCOMPARE(key->values.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      QCOMPARE(key->values[i].name, expected[i].first);
      QCOMPARE(key->values[i].type, dz::RegValue::Text);
      QCOMPARE(key->values[i].text, expected[i].second);
    }
    QVERIFY(content.startsWith("Windows Registry Editor Version 5.00\r\n"));
    QVERIFY(content.contains("\"Port\"=\"COM1\"\r\n"));
  }

  void roundTripsAndCustomRate()
  {
    TComPort p;
    SetUpLikeMainWindow(p);
    p.SetPort("/dev/ttyUSB0");
    p.SetBaudRate(brCustom);
    p.SetCustomBaudRate(250000);
    p.SetStopBits(sbTwoStopBits);
    p.SetDataBits(dbSeven);
    p.Parity().SetBits(prEven);
    p.FlowControl().SetFlowControl(fcHardware);
    p.SaveSettings(ssRegistry, kLocation);
    QVERIFY(ReadFile(LmFile()).contains("\"BaudRate\"=\"Custom\"\r\n\"CustomBaudRate\"=dword:0003d090\r\n"));

    TComPort q;
    q.SetName("ComPort");
    q.RestoreSettings(ssRegistry, kLocation);
    QCOMPARE(q.Port(), std::string("/dev/ttyUSB0"));
    QCOMPARE(q.BaudRate(), brCustom);
    QCOMPARE(q.CustomBaudRate(), 250000);
    QCOMPARE(q.StopBits(), sbTwoStopBits);
    QCOMPARE(q.DataBits(), dbSeven);
    QCOMPARE(q.Parity().Bits(), prEven);
    QCOMPARE(q.FlowControl().FlowControl(), fcHardware);

    // Every group, both forms.
    const TSettingGroups all{sgBasic, sgFlowControl, sgBuffer, sgTimeouts, sgParity, sgOthers};
    p.SetSavedGroups(all);
    p.SetEventChar('\n');
    p.Parity().SetCheck(true);
    p.Parity().SetReplaceChar('?');
    p.Buffer().SetOutputSize(2048);
    p.Timeouts().SetReadInterval(-1);
    p.Timeouts().SetWriteTotalConstant(1234);
    p.FlowControl().SetXonChar('"');
    p.FlowControl().SetDSRSensitivity(true);
    const QString ini = m_config.path() + "/port.ini";
    for (TSettingsStore store : {ssRegistry, ssIniFile}) {
      const std::string where = store == ssRegistry ? kLocation : ini.toStdString();
      p.SaveSettings(store, where);
      TComPort r;
      r.SetName("ComPort");
      r.SetSavedGroups(all);
      r.RestoreSettings(store, where);
      QCOMPARE(r.EventChar(), '\n');
      QVERIFY(r.DiscardNull());
      QVERIFY(r.Parity().Check());
      QCOMPARE(r.Parity().ReplaceChar(), '?');
      QCOMPARE(r.Buffer().OutputSize(), 2048);
      QCOMPARE(r.Buffer().InputSize(), 4096);
      QCOMPARE(r.Timeouts().ReadInterval(), -1);
      QCOMPARE(r.Timeouts().WriteTotalConstant(), 1234);
      QCOMPARE(r.FlowControl().XonChar(), '"');
      QVERIFY(r.FlowControl().DSRSensitivity());
      QCOMPARE(r.FlowControl().ControlDTR(), dtrEnable);
      QCOMPARE(r.FlowControl().FlowControl(), fcHardware);
      QCOMPARE(r.CustomBaudRate(), 250000);
    }
  }

  void firstStartAndMissingValues()
  {
    // No store at all: texts read empty, the fallbacks apply, no error.
    TComPort p;
    SetUpLikeMainWindow(p);
    p.FlowControl().SetFlowControl(fcHardware);
    p.RestoreSettings(ssRegistry, kLocation);
    QCOMPARE(p.Port(), std::string());
    QCOMPARE(p.BaudRate(), br9600);
    QCOMPARE(p.StopBits(), sbOneStopBit);
    QCOMPARE(p.DataBits(), dbEight);
    QCOMPARE(p.Parity().Bits(), prNone);
    QCOMPARE(p.FlowControl().FlowControl(), fcHardware); // "" is Custom: unchanged
    QCOMPARE(KindOf([&] { p.OpenPort(); }), 1);

    // "Custom" without its rate fails after the rate kind has been set.
    WriteFile(LmFile(), "Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\vexa\\ComPort]\r\n"
                        "\"Port\"=\"COM3\"\r\n\"BaudRate\"=\"custom\"\r\n\"Parity\"=\"none\"\r\n");
    try {
      p.RestoreSettings(ssRegistry, kLocation);
      QFAIL("restored without the custom rate");
    } catch (const EComPort& e) {
      QCOMPARE(e.ErrorKind(), 17);
      QCOMPARE(e.SystemError(), -1);
      QCOMPARE(std::string(e.what()), std::string("Failed to load settings"));
    }
    QCOMPARE(p.Port(), std::string("COM3"));
    QCOMPARE(p.BaudRate(), brCustom);

    // Values of the wrong type are errors too, for texts and for integers.
    WriteFile(LmFile(), "Windows Registry Editor Version 5.00\r\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\vexa\\ComPort]\r\n"
                        "\"BaudRate\"=\"Custom\"\r\n\"CustomBaudRate\"=\"9600\"\r\n");
    QCOMPARE(KindOf([&] { p.RestoreSettings(ssRegistry, kLocation); }), 17);
    WriteFile(LmFile(), "Windows Registry Editor Version 5.00\r\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\vexa\\ComPort]\r\n\"Port\"=dword:00000001\r\n");
    QCOMPARE(KindOf([&] { p.RestoreSettings(ssRegistry, kLocation); }), 17);
    // A text is cut at its first NUL; unknown texts take the fallbacks.
    WriteFile(LmFile(), "Windows Registry Editor Version 5.00\r\n"
                        "[hkey_local_machine\\software\\VEXA\\comport]\r\n"
                        "\"port\"=\"COM4\\x00junk\"\r\n\"BaudRate\"=\"abc\"\r\n");
    p.RestoreSettings(ssRegistry, kLocation);
    QCOMPARE(p.Port(), std::string("COM4"));
    QCOMPARE(p.BaudRate(), br9600);

    // No key at all: saving fails, restoring needs no integer here...
    TComPort n;
    n.SetName("ComPort");
    QCOMPARE(KindOf([&] { n.SaveSettings(ssRegistry, "NoBackslash"); }), 16);
    n.RestoreSettings(ssRegistry, "NoBackslash");
    QCOMPARE(n.Port(), std::string());
    // ...and fails at the first one it needs.
    n.SetSavedGroups({sgBuffer});
    QCOMPARE(KindOf([&] { n.RestoreSettings(ssRegistry, "NoBackslash"); }), 17);
  }

  void restoreIntoAnOpenPortApplies()
  {
    serialtest::PtyPair pty;
    QVERIFY(pty.Ok());
    TComPort p;
    SetUpLikeMainWindow(p);
    p.SetPort(pty.Path());
    p.SetEvents({});
    p.SetStopBits(sbTwoStopBits);
    p.SaveSettings(ssRegistry, kLocation);
    p.SetStopBits(sbOneStopBit);
    int opens = 0;
    p.OnAfterOpen = [&](TCustomComPort*) { ++opens; };
    p.OpenPort();
    termios t{};
    QCOMPARE(tcgetattr(pty.Slave(), &t), 0);
    QVERIFY(!(t.c_cflag & CSTOPB));
    p.RestoreSettings(ssRegistry, kLocation);
    QCOMPARE(tcgetattr(pty.Slave(), &t), 0);
    QVERIFY(t.c_cflag & CSTOPB); // applied at the end of the batch
    QCOMPARE(opens, 1);          // same name: no reopen
    p.ClosePort();
  }

  void storeKeepsOtherContentAndSurvivesCorruption()
  {
    const QByteArray other = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\other]\r\n"
                             "\"Name\"=\"a \\\"quoted\\\" \\\\ text\"\r\n"
                             "\"Blob\"=hex:01,02,\\\r\n  03\r\n"
                             "\"Count\"=dword:ffffffff\r\n";
    WriteFile(LmFile(), other);
    TComPort p;
    SetUpLikeMainWindow(p);
    p.SaveSettings(ssRegistry, kLocation);
    std::optional<dz::RegFile> file = dz::RegFile::Parse(ReadFile(LmFile()).toStdString());
    QVERIFY(file);
    const dz::RegKey* kept = file->Find("HKEY_LOCAL_MACHINE\\Software\\other");
    QVERIFY(kept);
    QCOMPARE(kept->Find("Name")->text, std::string("a \"quoted\" \\ text"));
    QCOMPARE(kept->Find("Blob")->text, std::string("hex:01,02,03"));
    QCOMPARE(kept->Find("Count")->dword, 0xffffffffu);
    QVERIFY(file->Find("HKEY_LOCAL_MACHINE\\Software\\vexa\\ComPort"));

    // A store that cannot be parsed fails the restore and is kept aside before a save.
    const QByteArray garbage = "\x01\x02 not a store [\r\n\"x\"=";
    WriteFile(LmFile(), garbage);
    QCOMPARE(KindOf([&] { p.RestoreSettings(ssRegistry, kLocation); }), 17);
    QCOMPARE(ReadFile(LmFile()), garbage); // a failed restore writes nothing
    p.SaveSettings(ssRegistry, kLocation);
    const QStringList backups = QDir(m_config.path() + "/dedizivi").entryList({"HKEY_LOCAL_MACHINE.reg.bad-*"});
    QCOMPARE(backups.size(), 1);
    QCOMPARE(ReadFile(m_config.path() + "/dedizivi/" + backups[0]), garbage);
    TComPort q;
    q.SetName("ComPort");
    q.RestoreSettings(ssRegistry, kLocation);
    QCOMPARE(q.BaudRate(), br1200);
    // No temporary file is left behind.
    QCOMPARE(QDir(m_config.path() + "/dedizivi").entryList(QDir::Files).size(), 2);
  }

  // A store of megabytes, many keys and many values, read in one go: the
  // window starts and the command line downloads as with a small one.
  void largeStoreReadsWhole()
  {
    QByteArray store = "Windows Registry Editor Version 5.00\r\n";
    for (int i = 0; store.size() < (2 << 20); ++i)
      store += "\r\n[HKEY_LOCAL_MACHINE\\Software\\other\\k" + QByteArray::number(i) + "]\r\n\"Port\"=\"COM2\"\r\n";
    store += "\r\n[HKEY_LOCAL_MACHINE\\Software\\big]\r\n\"Dup\"=\"first\"\r\n";
    for (int i = 0; store.size() < (4 << 20); ++i)
      store += "\"value" + QByteArray::number(i) + "\"=\"some text\"\r\n";
    // A repeated value takes the first one's place; a repeated key merges.
    store += "\"dUP\"=\"last\"\r\n\r\n[hkey_local_machine\\software\\OTHER\\k7]\r\n\"Extra\"=dword:00000007\r\n";
    store += "\r\n[HKEY_LOCAL_MACHINE\\Software\\vexa\\ComPort]\r\n\"Port\"=\"/dev/ttyUSB7\"\r\n\"BaudRate\"=\"2400\"\r\n";
    WriteFile(LmFile(), store);

    TComPort p;
    p.SetName("ComPort");
    p.RestoreSettings(ssRegistry, kLocation);
    QCOMPARE(p.Port(), std::string("/dev/ttyUSB7"));
    QCOMPARE(p.BaudRate(), br2400);

    const std::optional<dz::RegFile> file = dz::RegFile::Parse(store.toStdString());
    QVERIFY(file);
    const dz::RegKey* big = file->Find("HKEY_LOCAL_MACHINE\\Software\\big");
    QVERIFY(big);
    QCOMPARE(big->values.front().name, std::string("dUP"));
    QCOMPARE(big->values.front().text, std::string("last"));
    QCOMPARE(big->Find("value1000")->text, std::string("some text"));
    const dz::RegKey* k7 = file->Find("HKEY_LOCAL_MACHINE\\Software\\other\\k7");
    QVERIFY(k7);
    QCOMPARE(k7->values.size(), std::size_t(2));
    QCOMPARE(k7->Find("extra")->dword, 7u);
  }

  // A FIFO (or a folder) where the store belongs: restoring and saving fail
  // at once with the store's usual messages, and it stays what it was. A
  // stray writer feeds the FIFO a store, should anything open it to read.
  void storeThatIsNoFile()
  {
    const QByteArray path = LmFile().toLocal8Bit();
    QDir().mkpath(QFileInfo(LmFile()).absolutePath());
    QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    const auto savedPipe = std::signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
      const QByteArray fed = "Windows Registry Editor Version 5.00\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\vexa\\ComPort]\r\n\"Port\"=\"/dev/fed\"\r\n";
      while (!stop) {
        const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          continue;
        }
        [[maybe_unused]] const ssize_t n = ::write(fd, fed.constData(), size_t(fed.size()));
        ::close(fd);
      }
    });
    TComPort p;
    SetUpLikeMainWindow(p);
    const int restored = KindOf([&] { p.RestoreSettings(ssRegistry, kLocation); });
    const int saved = KindOf([&] { p.SaveSettings(ssRegistry, kLocation); });
    stop = true;
    feeder.join();
    std::signal(SIGPIPE, savedPipe);
    QCOMPARE(restored, 17);
    QCOMPARE(saved, 16);
    QCOMPARE(p.Port(), std::string("COM1")); // nothing restored
    struct stat st {};
    QCOMPARE(::lstat(path.constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
    QCOMPARE(QDir(m_config.path() + "/dedizivi").entryList(QDir::Files | QDir::System).size(), 1);

    QCOMPARE(::unlink(path.constData()), 0);
    QVERIFY(QDir().mkpath(LmFile()));
    QCOMPARE(KindOf([&] { p.RestoreSettings(ssRegistry, kLocation); }), 17);
    QCOMPARE(KindOf([&] { p.SaveSettings(ssRegistry, kLocation); }), 16);
    QVERIFY(QFileInfo(LmFile()).isDir());
  }

  void unwritableStore()
  {
    TComPort p;
    SetUpLikeMainWindow(p);
    // The store's folder cannot exist: a file stands in its place.
    WriteFile(m_config.path() + "/dedizivi", "in the way");
    QCOMPARE(KindOf([&] { p.SaveSettings(ssRegistry, kLocation); }), 16);
    QCOMPARE(KindOf([&] { p.SaveSettings(ssIniFile, (m_config.path() + "/dedizivi/x.ini").toStdString()); }), 16);
    QFile::remove(m_config.path() + "/dedizivi");

    // A read-only folder, checked as an ordinary user (root writes anywhere).
    p.SaveSettings(ssRegistry, kLocation);
    const QByteArray before = ReadFile(LmFile());
    const QString dir = m_config.path() + "/dedizivi";
    QVERIFY(::chmod(m_config.path().toLocal8Bit(), 0755) == 0);
    QVERIFY(::chmod(dir.toLocal8Bit(), 0555) == 0);
    QVERIFY(::chmod(LmFile().toLocal8Bit(), 0644) == 0);
    p.SetPort("COM9");
    const pid_t child = ::fork();
    if (child == 0) {
      if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(3);
      ::_exit(KindOf([&] { p.SaveSettings(ssRegistry, kLocation); }) == 16 ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    ::chmod(dir.toLocal8Bit(), 0755);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(ReadFile(LmFile()), before);
  }

  void iniForm()
  {
    const QString path = m_config.path() + "/settings.ini";
    WriteFile(path, "; kept\r\n[Other]\r\nPort=keep me\r\n\r\n[comport]\r\nBaudRate = \"19200\" \r\n"
                    "Buffer.InputSize=0x800\r\nBuffer.OutputSize=lots\r\nTimeouts.ReadInterval=-1\r\n");
    TComPort p;
    SetUpLikeMainWindow(p);
    p.SetSavedGroups({sgBasic, sgBuffer, sgTimeouts});
    p.Buffer().SetOutputSize(512);
    p.RestoreSettings(ssIniFile, path.toStdString());
    QCOMPARE(p.Port(), std::string("COM1"));           // missing keys keep the value
    QCOMPARE(p.BaudRate(), br19200);                   // trimmed, quotes dropped
    QCOMPARE(p.Buffer().InputSize(), 0x800);           // hexadecimal
    QCOMPARE(p.Buffer().OutputSize(), 512);            // not an integer: unchanged
    QCOMPARE(p.Timeouts().ReadInterval(), -1);
    QCOMPARE(p.Timeouts().WriteTotalConstant(), 1000);

    // A custom rate without its key reads 9600, not the current value.
    WriteFile(path, "[ComPort]\r\nBaudRate=Custom\r\n");
    p.SetCustomBaudRate(115200);
    p.RestoreSettings(ssIniFile, path.toStdString());
    QCOMPARE(p.BaudRate(), brCustom);
    QCOMPARE(p.CustomBaudRate(), 9600);

    // Saving changes only its own section's keys, with CR LF line ends.
    WriteFile(path, "; kept\r\n[Other]\r\nPort=keep me\r\n[ComPort]\r\nExtra=1\r\nport=old\r\n");
    p.SetPort("/dev/ttyACM0");
    p.SaveSettings(ssIniFile, path.toStdString());
    const QByteArray content = ReadFile(path);
    QVERIFY(content.startsWith("; kept\r\n[Other]\r\nPort=keep me\r\n[ComPort]\r\nExtra=1\r\nPort=/dev/ttyACM0\r\n"));
    QVERIFY(content.contains("\r\nCustomBaudRate=9600\r\n"));
    QVERIFY(!content.contains("old"));
    TComPort q;
    q.SetName("ComPort");
    q.SetSavedGroups(p.SavedGroups());
    q.RestoreSettings(ssIniFile, path.toStdString());
    QCOMPARE(q.Port(), std::string("/dev/ttyACM0"));
    QCOMPARE(q.Buffer().InputSize(), 0x800);

    // A value that would break the file is refused, leaving the file as it was.
    p.SetPort("bad\nname");
    QCOMPARE(KindOf([&] { p.SaveSettings(ssIniFile, path.toStdString()); }), 16);
    QCOMPARE(ReadFile(path), content);
  }

  void readersTakeAnyContent()
  {
    QRandomGenerator rng(20261209);
    const QByteArray pieces[] = {"Windows Registry Editor Version 5.00\r\n", "[", "]", "\"", "=", "\\",
                                 "dword:", "hex:", "\r\n", "\n", "\0", "@", "x", "[ComPort]", "Port=", "#"};
    for (int round = 0; round < 3000; ++round) {
      QByteArray input;
      const int n = int(rng.bounded(40));
      for (int i = 0; i < n; ++i) {
        if (rng.bounded(3) == 0)
          input.append(char(rng.bounded(256)));
        else
          input.append(pieces[rng.bounded(int(std::size(pieces)))]);
      }
      const std::string text = input.toStdString();
      if (std::optional<dz::RegFile> f = dz::RegFile::Parse(text)) {
        // What was parsed writes out to something that parses to the same.
        std::optional<dz::RegFile> again = dz::RegFile::Parse(f->Serialize());
        QVERIFY(again);
        QCOMPARE(again->Serialize(), f->Serialize());
      }
      dz::IniFile ini = dz::IniFile::Parse(text);
      std::string value;
      ini.Read("ComPort", "Port", value);
      ini.Write("ComPort", "Port", "v");
      QVERIFY(dz::IniFile::Parse(ini.Serialize()).Read("ComPort", "Port", value));
      QCOMPARE(value, std::string("v"));
    }
  }
};

QTEST_GUILESS_MAIN(TestComSettings)
#include "tst_comsettings.moc"
