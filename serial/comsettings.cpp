#include "comsettings.h"

#include "inifile.h"
#include "regstore.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include <pwd.h>
#include <unistd.h>

using dz::EqualsNoCase;

// ---------------------------------------------------------------- text forms

namespace {

const char* const kBaudRateTexts[] = {"Custom", "110",   "300",   "600",   "1200",  "2400",
                                      "4800",   "9600",  "14400", "19200", "38400", "56000",
                                      "57600",  "115200", "128000", "256000"};
const char* const kStopBitsTexts[] = {"1", "1.5", "2"};
const char* const kDataBitsTexts[] = {"5", "6", "7", "8"};
const char* const kParityTexts[] = {"None", "Odd", "Even", "Mark", "Space"};
const char* const kFlowControlTexts[] = {"Hardware", "Software", "None", "Custom"};
const char* const kDTRTexts[] = {"Disable", "Enable", "Handshake"};
const char* const kRTSTexts[] = {"Disable", "Enable", "Handshake", "Toggle"};

template <std::size_t N>
std::string TextOf(const char* const (&texts)[N], int v)
{
  return (v >= 0 && std::size_t(v) < N) ? texts[v] : std::string();
}

template <typename E, std::size_t N>
E ParseOf(const char* const (&texts)[N], const std::string& text, E fallback)
{
  for (std::size_t i = 0; i < N; ++i)
    if (EqualsNoCase(text, texts[i]))
      return static_cast<E>(i);
  return fallback;
}

// Optional sign and decimal digits, within 32 bits.
bool ParseDecimal(std::string_view s, long long& out)
{
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-'))
    negative = s[i++] == '-';
  if (i == s.size())
    return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9')
      return false;
    v = v * 10 + (s[i] - '0');
    if (v > 0xFFFFFFFFLL)
      return false;
  }
  out = negative ? -v : v;
  return out >= -0x80000000LL;
}

} // namespace

std::string BaudRateText(TBaudRate v) { return TextOf(kBaudRateTexts, v); }
std::string StopBitsText(TStopBits v) { return TextOf(kStopBitsTexts, v); }
std::string DataBitsText(TDataBits v) { return TextOf(kDataBitsTexts, v); }
std::string ParityText(TParityBits v) { return TextOf(kParityTexts, v); }
std::string FlowControlText(TFlowControl v) { return TextOf(kFlowControlTexts, v); }
std::string DTRText(TDTRFlowControl v) { return TextOf(kDTRTexts, v); }
std::string RTSText(TRTSFlowControl v) { return TextOf(kRTSTexts, v); }
std::string YesNoText(bool v) { return v ? "Yes" : "No"; }

std::string CharText(char v)
{
  const auto code = static_cast<unsigned char>(v);
  if (code >= 33 && code <= 127)
    return std::string(1, v);
  return "#" + std::to_string(code);
}

TBaudRate ParseBaudRate(const std::string& t) { return ParseOf(kBaudRateTexts, t, br9600); }
TStopBits ParseStopBits(const std::string& t) { return ParseOf(kStopBitsTexts, t, sbOneStopBit); }
TDataBits ParseDataBits(const std::string& t) { return ParseOf(kDataBitsTexts, t, dbEight); }
TParityBits ParseParity(const std::string& t) { return ParseOf(kParityTexts, t, prNone); }
TFlowControl ParseFlowControl(const std::string& t) { return ParseOf(kFlowControlTexts, t, fcCustom); }
TDTRFlowControl ParseDTR(const std::string& t) { return ParseOf(kDTRTexts, t, dtrDisable); }
TRTSFlowControl ParseRTS(const std::string& t) { return ParseOf(kRTSTexts, t, rtsDisable); }
bool ParseYesNo(const std::string& t) { return EqualsNoCase(t, "YES"); }

char ParseChar(const std::string& text)
{
  if (text.empty())
    return 0;
  if (text[0] == '#' && text.size() > 1) {
    long long v = 0;
    if (!ParseDecimal(std::string_view(text).substr(1), v))
      return 0;
    return static_cast<char>(static_cast<unsigned long long>(v) & 0xFF);
  }
  return text[0];
}

// ---------------------------------------------------------------- locations

TSettingsKey OpenSettingsKey(const std::string& Location, const std::string& Name)
{
  TSettingsKey key;
  const std::size_t slash = Location.find('\\');
  if (slash == std::string::npos)
    return key;
  key.root = EqualsNoCase(Location.substr(0, slash), "HKEY_LOCAL_MACHINE") ? "HKEY_LOCAL_MACHINE"
                                                                            : "HKEY_CURRENT_USER";
  std::string path = Location.substr(slash + 1);
  if (path.empty() || path.back() != '\\')
    path += '\\';
  path += Name;
  // A key name cannot be empty; a path with an empty part names no key.
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find('\\', start);
    const std::size_t len = (end == std::string::npos ? path.size() : end) - start;
    if (len == 0 || len > 255)
      return key;
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  if (path.find_first_of(std::string("[]\r\n\0", 5)) != std::string::npos)
    return key; // would not survive the file's section header
  key.path = path;
  key.opened = true;
  return key;
}

std::string SettingsStorePath(const std::string& root)
{
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw ? pw->pw_dir : "/";
    }
    base = std::string(home) + "/.config";
  }
  return base + "/dedizivi/" + root + ".reg";
}

// ---------------------------------------------------------------- the values, in order

namespace {

// The two stores differ only in what a missing value gives.
struct SettingsWriter {
  virtual ~SettingsWriter() = default;
  virtual void Text(const std::string& name, const std::string& value) = 0;
  virtual void Integer(const std::string& name, std::int32_t value) = 0;
};

struct SettingsReader {
  virtual ~SettingsReader() = default;
  // current: the setting's present value in text form (the INI default).
  virtual std::string Text(const std::string& name, const std::string& current) = 0;
  virtual std::int32_t Integer(const std::string& name, std::int32_t fallback) = 0;
};

void SaveValues(const TCustomComPort& p, SettingsWriter& w)
{
  const TSettingGroups g = p.SavedGroups();
  if (g.Contains(sgBasic)) {
    w.Text("Port", p.Port());
    w.Text("BaudRate", BaudRateText(p.BaudRate()));
    if (p.BaudRate() == brCustom)
      w.Integer("CustomBaudRate", p.CustomBaudRate());
    w.Text("StopBits", StopBitsText(p.StopBits()));
    w.Text("DataBits", DataBitsText(p.DataBits()));
    w.Text("Parity", ParityText(p.Parity().Bits()));
    w.Text("FlowControl", FlowControlText(p.FlowControl().FlowControl()));
  }
  if (g.Contains(sgOthers)) {
    w.Text("EventChar", CharText(p.EventChar()));
    w.Text("DiscardNull", YesNoText(p.DiscardNull()));
  }
  if (g.Contains(sgParity)) {
    w.Text("Parity.Check", YesNoText(p.Parity().Check()));
    w.Text("Parity.Replace", YesNoText(p.Parity().Replace()));
    w.Text("Parity.ReplaceChar", CharText(p.Parity().ReplaceChar()));
  }
  if (g.Contains(sgBuffer)) {
    w.Integer("Buffer.OutputSize", p.Buffer().OutputSize());
    w.Integer("Buffer.InputSize", p.Buffer().InputSize());
  }
  if (g.Contains(sgTimeouts)) {
    const TComTimeouts& t = p.Timeouts();
    w.Integer("Timeouts.ReadInterval", t.ReadInterval());
    w.Integer("Timeouts.ReadTotalConstant", t.ReadTotalConstant());
    w.Integer("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier());
    w.Integer("Timeouts.WriteTotalConstant", t.WriteTotalConstant());
    w.Integer("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier());
  }
  if (g.Contains(sgFlowControl)) {
    const TComFlowControl& f = p.FlowControl();
    w.Text("FlowControl.ControlRTS", RTSText(f.ControlRTS()));
    w.Text("FlowControl.ControlDTR", DTRText(f.ControlDTR()));
    w.Text("FlowControl.DSRSensitivity", YesNoText(f.DSRSensitivity()));
    w.Text("FlowControl.OutCTSFlow", YesNoText(f.OutCTSFlow()));
    w.Text("FlowControl.OutDSRFlow", YesNoText(f.OutDSRFlow()));
    w.Text("FlowControl.TxContinueOnXoff", YesNoText(f.TxContinueOnXoff()));
    w.Text("FlowControl.XonXoffIn", YesNoText(f.XonXoffIn()));
    w.Text("FlowControl.XonXoffOut", YesNoText(f.XonXoffOut()));
    w.Text("FlowControl.XoffChar", CharText(f.XoffChar()));
    w.Text("FlowControl.XonChar", CharText(f.XonChar()));
  }
}

// Each value goes through its setter at once: what was restored before a failure stays.
void RestoreValues(TCustomComPort& p, SettingsReader& r)
{
  const TSettingGroups g = p.SavedGroups();
  if (g.Contains(sgBasic)) {
    p.SetPort(r.Text("Port", p.Port()));
    p.SetBaudRate(ParseBaudRate(r.Text("BaudRate", BaudRateText(p.BaudRate()))));
    if (p.BaudRate() == brCustom)
      p.SetCustomBaudRate(r.Integer("CustomBaudRate", 9600));
    p.SetStopBits(ParseStopBits(r.Text("StopBits", StopBitsText(p.StopBits()))));
    p.SetDataBits(ParseDataBits(r.Text("DataBits", DataBitsText(p.DataBits()))));
    p.Parity().SetBits(ParseParity(r.Text("Parity", ParityText(p.Parity().Bits()))));
    p.FlowControl().SetFlowControl(
      ParseFlowControl(r.Text("FlowControl", FlowControlText(p.FlowControl().FlowControl()))));
  }
  if (g.Contains(sgOthers)) {
    p.SetEventChar(ParseChar(r.Text("EventChar", CharText(p.EventChar()))));
    p.SetDiscardNull(ParseYesNo(r.Text("DiscardNull", YesNoText(p.DiscardNull()))));
  }
  if (g.Contains(sgParity)) {
    TComParity& par = p.Parity();
    par.SetCheck(ParseYesNo(r.Text("Parity.Check", YesNoText(par.Check()))));
    par.SetReplace(ParseYesNo(r.Text("Parity.Replace", YesNoText(par.Replace()))));
    par.SetReplaceChar(ParseChar(r.Text("Parity.ReplaceChar", CharText(par.ReplaceChar()))));
  }
  if (g.Contains(sgBuffer)) {
    TComBuffer& b = p.Buffer();
    b.SetOutputSize(r.Integer("Buffer.OutputSize", b.OutputSize()));
    b.SetInputSize(r.Integer("Buffer.InputSize", b.InputSize()));
  }
  if (g.Contains(sgTimeouts)) {
    TComTimeouts& t = p.Timeouts();
    t.SetReadInterval(r.Integer("Timeouts.ReadInterval", t.ReadInterval()));
    t.SetReadTotalConstant(r.Integer("Timeouts.ReadTotalConstant", t.ReadTotalConstant()));
    t.SetReadTotalMultiplier(r.Integer("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier()));
    t.SetWriteTotalConstant(r.Integer("Timeouts.WriteTotalConstant", t.WriteTotalConstant()));
    t.SetWriteTotalMultiplier(r.Integer("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier()));
  }
  if (g.Contains(sgFlowControl)) {
    TComFlowControl& f = p.FlowControl();
    f.SetControlRTS(ParseRTS(r.Text("FlowControl.ControlRTS", RTSText(f.ControlRTS()))));
    f.SetControlDTR(ParseDTR(r.Text("FlowControl.ControlDTR", DTRText(f.ControlDTR()))));
    f.SetDSRSensitivity(ParseYesNo(r.Text("FlowControl.DSRSensitivity", YesNoText(f.DSRSensitivity()))));
    f.SetOutCTSFlow(ParseYesNo(r.Text("FlowControl.OutCTSFlow", YesNoText(f.OutCTSFlow()))));
    f.SetOutDSRFlow(ParseYesNo(r.Text("FlowControl.OutDSRFlow", YesNoText(f.OutDSRFlow()))));
    f.SetTxContinueOnXoff(
      ParseYesNo(r.Text("FlowControl.TxContinueOnXoff", YesNoText(f.TxContinueOnXoff()))));
    f.SetXonXoffIn(ParseYesNo(r.Text("FlowControl.XonXoffIn", YesNoText(f.XonXoffIn()))));
    f.SetXonXoffOut(ParseYesNo(r.Text("FlowControl.XonXoffOut", YesNoText(f.XonXoffOut()))));
    f.SetXoffChar(ParseChar(r.Text("FlowControl.XoffChar", CharText(f.XoffChar()))));
    f.SetXonChar(ParseChar(r.Text("FlowControl.XonChar", CharText(f.XonChar()))));
  }
}

// --- registry form

struct RegistryWriter : SettingsWriter {
  dz::RegKey* key;
  explicit RegistryWriter(dz::RegKey* k) : key(k) {}
  void Need() const
  {
    if (!key)
      throw std::runtime_error("no key");
  }
  void Text(const std::string& name, const std::string& value) override
  {
    Need();
    key->SetText(name, value);
  }
  void Integer(const std::string& name, std::int32_t value) override
  {
    Need();
    key->SetDword(name, static_cast<std::uint32_t>(value));
  }
};

// No defaults here: a missing text reads empty, a missing or mistyped integer fails.
struct RegistryReader : SettingsReader {
  const dz::RegKey* key;
  explicit RegistryReader(const dz::RegKey* k) : key(k) {}
  std::string Text(const std::string& name, const std::string&) override
  {
    const dz::RegValue* v = key ? key->Find(name) : nullptr;
    if (!v)
      return std::string();
    if (v->type != dz::RegValue::Text)
      throw std::runtime_error("not a text value: " + name);
    return v->text.substr(0, v->text.find('\0'));
  }
  std::int32_t Integer(const std::string& name, std::int32_t) override
  {
    const dz::RegValue* v = key ? key->Find(name) : nullptr;
    if (!v || v->type != dz::RegValue::Dword)
      throw std::runtime_error("missing integer value: " + name);
    return static_cast<std::int32_t>(v->dword);
  }
};

// Loads a root's store. A missing file is an empty store; one that cannot be read
// fails; one that cannot be parsed fails too, unless the caller is about to replace
// it, in which case a copy is kept first.
dz::RegFile LoadStore(const std::string& path, bool replacing)
{
  std::string content;
  if (!dz::ReadWholeFile(path, content)) {
    if (errno == ENOENT)
      return *dz::RegFile::Parse("Windows Registry Editor Version 5.00\r\n");
    throw std::runtime_error("cannot read " + path);
  }
  if (std::optional<dz::RegFile> file = dz::RegFile::Parse(content))
    return std::move(*file);
  if (!replacing)
    throw std::runtime_error("not a settings store: " + path);
  dz::BackUpBadFile(path);
  return *dz::RegFile::Parse("Windows Registry Editor Version 5.00\r\n");
}

// --- INI form

struct IniWriter : SettingsWriter {
  dz::IniFile& ini;
  std::string section;
  IniWriter(dz::IniFile& i, std::string s) : ini(i), section(std::move(s)) {}
  void Text(const std::string& name, const std::string& value) override { ini.Write(section, name, value); }
  void Integer(const std::string& name, std::int32_t value) override
  {
    ini.Write(section, name, std::to_string(value));
  }
};

// Missing keys give the current value; "CustomBaudRate" gives 9600.
struct IniReader : SettingsReader {
  const dz::IniFile& ini;
  std::string section;
  IniReader(const dz::IniFile& i, std::string s) : ini(i), section(std::move(s)) {}
  std::string Text(const std::string& name, const std::string& current) override
  {
    std::string value;
    return ini.Read(section, name, value) ? value : current;
  }
  std::int32_t Integer(const std::string& name, std::int32_t fallback) override
  {
    std::string value;
    if (!ini.Read(section, name, value))
      return fallback;
    long long v = 0;
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
      if (value.size() > 10)
        return fallback;
      for (std::size_t i = 2; i < value.size(); ++i) {
        const char c = value[i];
        int d;
        if (c >= '0' && c <= '9')
          d = c - '0';
        else if (c >= 'a' && c <= 'f')
          d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
          d = c - 'A' + 10;
        else
          return fallback;
        v = v * 16 + d;
      }
    } else if (!ParseDecimal(value, v)) {
      return fallback;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v & 0xFFFFFFFFLL));
  }
};

dz::IniFile LoadIni(const std::string& path)
{
  std::string content;
  if (!dz::ReadWholeFile(path, content) && errno != ENOENT)
    throw std::runtime_error("cannot read " + path);
  return dz::IniFile::Parse(content);
}

} // namespace

// ---------------------------------------------------------------- port operations

void TCustomComPort::SaveToRegistry(const std::string& Location)
{
  const TSettingsKey where = OpenSettingsKey(Location, Name());
  if (!where.opened) {
    RegistryWriter w(nullptr);
    SaveValues(*this, w);
    return;
  }
  const std::string path = SettingsStorePath(where.root);
  dz::RegFile file = LoadStore(path, true);
  RegistryWriter w(&file.Create(where.root + "\\" + where.path));
  SaveValues(*this, w);
  dz::WriteFileAtomically(path, file.Serialize());
}

void TCustomComPort::RestoreFromRegistry(const std::string& Location)
{
  const TSettingsKey where = OpenSettingsKey(Location, Name());
  std::optional<dz::RegFile> file;
  const dz::RegKey* key = nullptr;
  if (where.opened) {
    file = LoadStore(SettingsStorePath(where.root), false);
    key = file->Find(where.root + "\\" + where.path);
  }
  RegistryReader r(key);
  RestoreValues(*this, r);
}

void TCustomComPort::SaveToIniFile(const std::string& FileName)
{
  dz::IniFile ini = LoadIni(FileName);
  IniWriter w(ini, Name());
  SaveValues(*this, w);
  dz::WriteFileAtomically(FileName, ini.Serialize());
}

void TCustomComPort::RestoreFromIniFile(const std::string& FileName)
{
  const dz::IniFile ini = LoadIni(FileName);
  IniReader r(ini, Name());
  RestoreValues(*this, r);
}

void TCustomComPort::SaveSettings(TSettingsStore Store, const std::string& Location)
{
  try {
    if (Store == ssRegistry)
      SaveToRegistry(Location);
    else
      SaveToIniFile(Location);
  } catch (...) {
    throw EComPort(ekStoreSettings);
  }
}

void TCustomComPort::RestoreSettings(TSettingsStore Store, const std::string& Location)
{
  SuspendApply();
  bool failed = false;
  try {
    if (Store == ssRegistry)
      RestoreFromRegistry(Location);
    else
      RestoreFromIniFile(Location);
  } catch (...) {
    failed = true;
  }
  try {
    ResumeApply();
  } catch (...) {
    failed = true;
  }
  if (failed)
    throw EComPort(ekLoadSettings);
}
