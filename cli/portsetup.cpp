#include "portsetup.h"

#include "comsettings.h"

#include <charconv>
#include <cstring>

namespace dz::cli {

std::string PortErrorText(const EComPort& e)
{
  std::string text = e.what();
  if (e.SystemError() > 0)
    text += std::string(": ") + std::strerror(e.SystemError());
  return text;
}

std::optional<std::string> SetUpPort(TComPort& port, const PortRequest& request, bool& usageError)
{
  usageError = false;
  dz::SetProgramPortDefaults(port);
  try {
    port.RestoreSettings(ssRegistry, dz::kStoredSettingsLocation);
  } catch (const EComPort& e) {
    return "cannot read the stored port settings (" + SettingsStorePath("HKEY_LOCAL_MACHINE") + "): " + e.what();
  }

  if (request.Port)
    port.SetPort(*request.Port);
  if (port.Port().empty()) {
    usageError = true;
    return "no port given and none stored: use --port DEVICE (see 'dedizivi-cli ports')";
  }
  if (request.Baud) {
    const std::string& text = *request.Baud;
    int rate = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), rate);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || rate <= 0) {
      usageError = true;
      return "invalid --baud '" + text + "' (a rate in bits per second, e.g. 1200 or 9600)";
    }
    // A listed rate as the setup dialog would pick it, any other as a custom one.
    const TBaudRate listed = ParseBaudRate(text);
    if (BaudRateText(listed) == text) {
      port.SetBaudRate(listed);
    } else {
      port.SetCustomBaudRate(rate);
      port.SetBaudRate(brCustom);
    }
  }
  return std::nullopt;
}

} // namespace dz::cli
