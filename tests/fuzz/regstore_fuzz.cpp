// The settings store reader on any file content. The parser either refuses
// the file or reads it so that writing it back and reading that again gives
// the same text; restoring a port from the file either works or fails with
// "Failed to load settings", and what it restored survives a save and a
// restore into a fresh port.

#include "fuzzsupport.h"
#include "settings_snapshot.h"

#include "comport.h"
#include "comsettings.h"
#include "regstore.h"

#include <QDir>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const char* kLocation = "HKEY_LOCAL_MACHINE\\Software\\vexa";

// A private folder for the store, on a memory file system when there is one
// (a save syncs to disk, which would dominate the run).
const std::string& StorePath()
{
  static const std::string path = [] {
    const char* shm = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    const std::string dir = std::string(shm) + "/dz-regstore-fuzz-" + std::to_string(::getpid());
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    QDir().mkpath(QString::fromStdString(dir + "/dedizivi"));
    std::atexit([] { QDir(QString::fromStdString(std::getenv("XDG_CONFIG_HOME"))).removeRecursively(); });
    return SettingsStorePath("HKEY_LOCAL_MACHINE");
  }();
  return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  dzfuzz::Input in(data, size);
  const auto groups = TSettingGroups::FromBits(in.Byte() & 0x3f);
  const std::string content = in.Rest();

  // The parser alone.
  if (const std::optional<dz::RegFile> file = dz::RegFile::Parse(content)) {
    const std::string once = file->Serialize();
    const std::optional<dz::RegFile> again = dz::RegFile::Parse(once);
    DZ_CHECK(again.has_value(), "a written store does not read back: " + dzfuzz::Show(once));
    DZ_CHECK(again->Serialize() == once, "a store changes when written twice: " + dzfuzz::Show(once));
  }

  // The port's reader on the same file.
  const std::string& path = StorePath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
  }
  TComPort port;
  port.SetName("ComPort");
  port.SetSavedGroups(groups);
  try {
    port.RestoreSettings(ssRegistry, kLocation);
  } catch (const EComPort& e) {
    DZ_CHECK(e.ErrorKind() == 17 && std::string(e.what()) == "Failed to load settings", e.what());
    return 0;
  }

  port.SaveSettings(ssRegistry, kLocation);
  TComPort fresh;
  fresh.SetName("ComPort");
  fresh.SetSavedGroups(groups);
  // Start from the same values, so groups outside SavedGroups compare too.
  fresh.SetPort(port.Port());
  fresh.SetBaudRate(port.BaudRate());
  fresh.SetCustomBaudRate(port.CustomBaudRate());
  fresh.SetParity(port.Parity());
  fresh.SetFlowControl(port.FlowControl());
  fresh.SetTimeouts(port.Timeouts());
  fresh.SetBuffer(port.Buffer());
  fresh.SetDataBits(port.DataBits());
  fresh.SetStopBits(port.StopBits());
  fresh.SetDiscardNull(port.DiscardNull());
  fresh.SetEventChar(port.EventChar());
  const std::string before = dzfuzz::Snapshot(port);
  DZ_CHECK(dzfuzz::Snapshot(fresh) == before, "copying the settings changed them: " + before);
  if (groups.Contains(sgBasic))
    fresh.SetPort("elsewhere"); // must come back from the store
  fresh.RestoreSettings(ssRegistry, kLocation);
  DZ_CHECK(dzfuzz::Snapshot(fresh) == before,
           "saved " + before + "\n  restored " + dzfuzz::Snapshot(fresh));
  return 0;
}
