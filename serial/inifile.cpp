#include "inifile.h"

#include "regstore.h"

#include <stdexcept>

namespace dz {

namespace {

// "[name]" gives name; anything else gives false.
bool SectionName(const std::string& line, std::string& name)
{
  const std::string t = Trim(line);
  if (t.size() < 2 || t[0] != '[')
    return false;
  const std::size_t close = t.find(']');
  if (close == std::string::npos)
    return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// "key=value" gives both; a line without "=" gives false.
bool KeyValue(const std::string& line, std::string& key, std::string& value)
{
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos)
    return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  return true;
}

} // namespace

IniFile IniFile::Parse(const std::string& content)
{
  IniFile ini;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos)
      end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    ini.m_lines.push_back(std::move(line));
    start = end + 1;
  }
  return ini;
}

std::string IniFile::Serialize() const
{
  std::string out;
  for (const std::string& line : m_lines)
    out += line + "\r\n";
  return out;
}

long IniFile::FindSection(const std::string& section) const
{
  std::string name;
  for (std::size_t i = 0; i < m_lines.size(); ++i)
    if (SectionName(m_lines[i], name) && EqualsNoCase(name, section))
      return long(i);
  return -1;
}

bool IniFile::Read(const std::string& section, const std::string& key, std::string& value) const
{
  const long s = FindSection(section);
  if (s < 0)
    return false;
  std::string name, k, v;
  for (std::size_t i = std::size_t(s) + 1; i < m_lines.size(); ++i) {
    if (SectionName(m_lines[i], name))
      break;
    if (KeyValue(m_lines[i], k, v) && EqualsNoCase(k, key)) {
      value = v;
      return true;
    }
  }
  return false;
}

void IniFile::Write(const std::string& section, const std::string& key, const std::string& value)
{
  auto breaksLine = [](const std::string& s) {
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
  };
  if (breaksLine(section) || breaksLine(key) || breaksLine(value) || key.find('=') != std::string::npos ||
      Trim(key).empty() || Trim(key)[0] == '[')
    throw std::invalid_argument("value cannot be written to a profile file");
  const std::string line = key + "=" + value;
  long s = FindSection(section);
  if (s < 0) {
    if (!m_lines.empty() && !Trim(m_lines.back()).empty())
      m_lines.push_back(std::string());
    m_lines.push_back("[" + section + "]");
    m_lines.push_back(line);
    return;
  }
  std::string name, k, v;
  std::size_t last = std::size_t(s); // last non-empty line of the section
  std::size_t i = std::size_t(s) + 1;
  for (; i < m_lines.size(); ++i) {
    if (SectionName(m_lines[i], name))
      break;
    if (KeyValue(m_lines[i], k, v) && EqualsNoCase(k, key)) {
      m_lines[i] = line;
      return;
    }
    if (!Trim(m_lines[i]).empty())
      last = i;
  }
  m_lines.insert(m_lines.begin() + long(last) + 1, line);
}

} // namespace dz
