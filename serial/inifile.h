#pragma once

// A profile (INI) file: sections of "key=value" lines. Sections and keys match
// ignoring letter case; values are trimmed and lose one pair of surrounding quotes.
// Every other line is kept as it was, so a write changes only the keys it sets.

#include <string>
#include <vector>

namespace dz {

class IniFile {
public:
  // Any content is accepted.
  static IniFile Parse(const std::string& content);
  std::string Serialize() const; // CR LF line ends
  bool Read(const std::string& section, const std::string& key, std::string& value) const;
  // Throws std::invalid_argument for a key or value that would break the line structure.
  void Write(const std::string& section, const std::string& key, const std::string& value);

private:
  std::vector<std::string> m_lines;
  // Index of the first line of the section's header, or -1.
  long FindSection(const std::string& section) const;
};

} // namespace dz
