#include "stablename.h"

#include "comport.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace dz {

namespace {

constexpr const char* kByIdFolder = "/dev/serial/by-id";

std::string Resolved(const std::filesystem::path& p)
{
  std::error_code ec;
  const std::filesystem::path r = std::filesystem::canonical(p, ec);
  return ec ? std::string() : r.string();
}

} // namespace

std::vector<std::string> StableNames(const std::string& device)
{
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(kByIdFolder, ec))
    if (!device.empty() && Resolved(entry.path()) == device)
      found.push_back(entry.path().string());
  std::sort(found.begin(), found.end());
  return found;
}

std::string StableName(const std::string& port)
{
  const std::string path = TCustomComPort::DevicePath(port);
  if (path.rfind(std::string(kByIdFolder) + "/", 0) == 0)
    return path;
  const std::vector<std::string> names = StableNames(Resolved(path));
  return names.empty() ? std::string() : names.front();
}

} // namespace dz
