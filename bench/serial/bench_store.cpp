// Reading the stored port settings from a large store, as the window's
// start-up and every command-line download do: RestoreSettings on stores of
// 1 to 10 MB, one with many keys and one with many values in one key, the
// program's own key last. Prints the times and how they scale with the size
// (1.0 is linear; a search per line shows as a ratio growing with the size);
// asserts nothing but that the settings were read.

#include "comport.h"
#include "comsettings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const char* kLocation = "HKEY_LOCAL_MACHINE\\Software\\vexa";

std::string MakeStore(std::size_t bytes, bool manyKeys)
{
  std::string s = "Windows Registry Editor Version 5.00\r\n";
  if (!manyKeys)
    s += "\r\n[HKEY_LOCAL_MACHINE\\Software\\other]\r\n";
  for (int i = 0; s.size() < bytes; ++i) {
    if (manyKeys)
      s += "\r\n[HKEY_LOCAL_MACHINE\\Software\\other\\key" + std::to_string(i) + "]\r\n\"Port\"=\"COM2\"\r\n";
    else
      s += "\"value" + std::to_string(i) + "\"=\"some text\"\r\n";
  }
  s += "\r\n[HKEY_LOCAL_MACHINE\\Software\\vexa\\ComPort]\r\n\"Port\"=\"/dev/ttyUSB7\"\r\n\"BaudRate\"=\"1200\"\r\n";
  return s;
}

// Seconds for one RestoreSettings, the best of a few.
double TimeRestore(const std::string& store, const std::string& path)
{
  std::ofstream(path, std::ios::binary | std::ios::trunc) << store;
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    TComPort port;
    port.SetName("ComPort");
    QElapsedTimer t;
    t.start();
    port.RestoreSettings(ssRegistry, kLocation);
    best = std::min(best, static_cast<double>(t.nsecsElapsed()) / 1e9);
    if (port.Port() != "/dev/ttyUSB7") {
      std::printf("the settings were not read\n");
      std::exit(1);
    }
  }
  return best;
}

} // namespace

int main()
{
  QTemporaryDir config;
  ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  QDir().mkpath(config.filePath(QStringLiteral("dedizivi")));
  const std::string path = SettingsStorePath("HKEY_LOCAL_MACHINE");

  std::printf("reading the settings store (RestoreSettings, best of 3)\n");
  std::printf("%-22s %8s %10s %10s %16s\n", "store", "MB", "time", "MB/s", "per MB vs 1 MB");
  for (const bool manyKeys : {true, false}) {
    double perMbAt1 = 0;
    for (const int mb : {1, 2, 5, 10}) {
      const std::string store = MakeStore(static_cast<std::size_t>(mb) << 20, manyKeys);
      const double seconds = TimeRestore(store, path);
      const double megabytes = static_cast<double>(store.size()) / (1 << 20);
      if (mb == 1)
        perMbAt1 = seconds / megabytes;
      std::printf("%-22s %8.1f %8.3f s %10.1f %16.2f\n", manyKeys ? "many keys" : "many values in a key",
                  megabytes, seconds, megabytes / seconds, seconds / megabytes / perMbAt1);
    }
  }
  return 0;
}
