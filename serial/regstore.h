#pragma once

// The registry of this program on Linux: one text file per root in the .reg format
//   Windows Registry Editor Version 5.00
//   [HKEY_LOCAL_MACHINE\Software\vexa\ComPort]
//   "Port"="COM1"
//   "CustomBaudRate"=dword:0000012c
// Keys and value names match ignoring letter case. Values of other types are kept
// as written so that a save never loses them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dz {

struct RegValue {
  enum Type { Text, Dword, Other };
  std::string name;
  Type type = Text;
  std::string text;        // Text: the bytes; Other: the right-hand side as written
  std::uint32_t dword = 0;
};

struct RegKey {
  std::string name; // full name with the root, as in the section header
  std::vector<RegValue> values;
  const RegValue* Find(const std::string& valueName) const;
  void SetText(const std::string& valueName, const std::string& text);
  void SetDword(const std::string& valueName, std::uint32_t value);
};

class RegFile {
public:
  // Parses file content; nullopt when it is not a store file.
  static std::optional<RegFile> Parse(const std::string& content);
  std::string Serialize() const;
  const RegKey* Find(const std::string& keyName) const;
  RegKey& Create(const std::string& keyName);

private:
  std::vector<RegKey> m_keys;
};

// Reads a whole regular file. Returns false with errno set when it cannot be
// read; a missing file gives false with errno ENOENT, anything but a regular
// file (a FIFO, a device, a folder) false with errno EINVAL, at once.
bool ReadWholeFile(const std::string& path, std::string& content);

// Replaces the file in one step (new file beside it, flushed to disk, renamed over
// the old one), so a crash leaves the old or the new file, never a mix.
// Creates the folder when missing. Throws std::runtime_error on failure.
void WriteFileAtomically(const std::string& path, const std::string& content);

// Keeps a copy of a file that could not be parsed before it is replaced.
// Throws std::runtime_error when the copy cannot be made.
void BackUpBadFile(const std::string& path);

bool EqualsNoCase(std::string_view a, std::string_view b);

// The text without the blanks and tabs at either end; both store readers use it.
std::string Trim(const std::string& s);

} // namespace dz
