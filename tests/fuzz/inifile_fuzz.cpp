// The INI reader on any file content: parsing and writing back is stable, a
// key written reads back as written while every other key keeps its value,
// and a port restored from the file keeps its settings through a save and a
// restore into a fresh port.

#include "fuzzsupport.h"
#include "settings_snapshot.h"

#include "comport.h"
#include "inifile.h"
#include "regstore.h"

#include <QDir>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

const std::string& IniPath()
{
  static const std::string path = [] {
    const char* shm = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string dir = std::string(shm) + "/dz-inifile-fuzz-" + std::to_string(::getpid());
    QDir().mkpath(QString::fromStdString(dir));
    std::atexit([] { QDir(QString::fromStdString(dir)).removeRecursively(); });
    return dir + "/settings.ini";
  }();
  return path;
}

// Key names the file itself mentions, as "name=" lines anywhere.
std::vector<std::string> KeysIn(const std::string& content)
{
  std::vector<std::string> keys;
  std::size_t start = 0;
  while (start < content.size() && keys.size() < 16) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos)
      end = content.size();
    const std::string line = content.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) {
      const std::size_t b = line.find_first_not_of(" \t");
      const std::size_t e = line.find_last_not_of(" \t", eq == 0 ? 0 : eq - 1);
      if (b < eq && e != std::string::npos && e >= b)
        keys.push_back(line.substr(b, e - b + 1));
    }
    start = end + 1;
  }
  return keys;
}

bool Plain(const std::string& s)
{
  for (char c : s)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_'))
      return false;
  return !s.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  dzfuzz::Input in(data, size);
  const auto groups = TSettingGroups::FromBits(in.Byte() & 0x3f);
  std::string section = in.Text(8);
  std::string key = in.Text(8);
  std::string value = in.Text(12);
  const std::string content = in.Rest();

  // Parse and write back: a second round changes nothing.
  const dz::IniFile parsed = dz::IniFile::Parse(content);
  const std::string once = parsed.Serialize();
  DZ_CHECK(dz::IniFile::Parse(once).Serialize() == once, "not stable: " + dzfuzz::Show(once));

  // A write of a plain section name and key: the value reads back, others stay.
  if (!Plain(section))
    section = "ComPort";
  if (!Plain(key))
    key = "Port";
  dz::IniFile ini = parsed;
  std::vector<std::string> others = KeysIn(content);
  std::vector<std::pair<bool, std::string>> before;
  for (const std::string& k : others) {
    std::string v;
    const bool found = ini.Read(section, k, v);
    before.emplace_back(found, v);
  }
  try {
    ini.Write(section, key, value);
  } catch (const std::invalid_argument&) {
    DZ_CHECK(value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos,
             "refused a value without line breaks: " + dzfuzz::Show(value));
    return 0;
  }
  std::string back;
  DZ_CHECK(ini.Read(section, key, back), "a written key is not found");
  // Reading trims blanks and one pair of quotes, as the profile functions do.
  const std::size_t b = value.find_first_not_of(" \t");
  std::string trimmed = b == std::string::npos ? "" : value.substr(b, value.find_last_not_of(" \t") - b + 1);
  if (trimmed.size() >= 2 && (trimmed[0] == '"' || trimmed[0] == '\'') && trimmed.back() == trimmed[0])
    trimmed = trimmed.substr(1, trimmed.size() - 2);
  DZ_CHECK(back == trimmed, "wrote " + dzfuzz::Show(value) + ", read " + dzfuzz::Show(back));
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (dz::EqualsNoCase(others[i], key))
      continue;
    std::string v;
    const bool found = ini.Read(section, others[i], v);
    DZ_CHECK(found == before[i].first && v == before[i].second,
             "writing " + key + " changed " + dzfuzz::Show(others[i]));
  }

  // The port's reader on the file.
  const std::string& path = IniPath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
  }
  TComPort port;
  port.SetName("ComPort");
  port.SetSavedGroups(groups);
  try {
    port.RestoreSettings(ssIniFile, path);
  } catch (const EComPort& e) {
    DZ_CHECK(false, std::string("an INI file that reads cannot fail to restore: ") + e.what());
  }
  // A port name in quotes or with blanks around it does not survive the
  // profile format (reading strips them); such names are not devices.
  const std::string& name = port.Port();
  const bool nameKeeps = name.empty() || (name.front() != ' ' && name.front() != '\t' && name.back() != ' ' &&
                                          name.back() != '\t' &&
                                          !(name.size() >= 2 && (name[0] == '"' || name[0] == '\'') &&
                                            name.back() == name[0]));
  try {
    port.SaveSettings(ssIniFile, path);
  } catch (const EComPort& e) {
    DZ_CHECK(e.ErrorKind() == 16, e.what());
    return 0;
  }
  TComPort fresh;
  fresh.SetName("ComPort");
  fresh.SetSavedGroups(groups);
  fresh.RestoreSettings(ssIniFile, path);
  if (!nameKeeps)
    fresh.SetPort(port.Port());
  DZ_CHECK(dzfuzz::Snapshot(fresh) == dzfuzz::Snapshot(port),
           "saved " + dzfuzz::Snapshot(port) + "\n  restored " + dzfuzz::Snapshot(fresh));
  return 0;
}
