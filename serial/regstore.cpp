#include "regstore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace dz {

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

int HexDigit(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(const std::string& s, std::size_t& pos, std::string& out)
{
  if (pos >= s.size() || s[pos] != '"')
    return false;
  ++pos;
  out.clear();
  while (pos < s.size()) {
    const char c = s[pos++];
    if (c == '"')
      return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= s.size())
      return false;
    const char e = s[pos++];
    if (e == '\\' || e == '"') {
      out += e;
    } else if (e == 'x') {
      if (pos + 2 > s.size() || HexDigit(s[pos]) < 0 || HexDigit(s[pos + 1]) < 0)
        return false;
      out += char(HexDigit(s[pos]) * 16 + HexDigit(s[pos + 1]));
      pos += 2;
    } else {
      return false;
    }
  }
  return false;
}

std::string Quote(const std::string& s)
{
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7f) {
      // Line breaks and other controls would break the line structure.
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

} // namespace

bool EqualsNoCase(const std::string& a, const std::string& b)
{
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i]))
      return false;
  return true;
}

const RegValue* RegKey::Find(const std::string& valueName) const
{
  for (const RegValue& v : values)
    if (EqualsNoCase(v.name, valueName))
      return &v;
  return nullptr;
}

void RegKey::SetText(const std::string& valueName, const std::string& text)
{
  for (RegValue& v : values)
    if (EqualsNoCase(v.name, valueName)) {
      v = {v.name, RegValue::Text, text, 0};
      return;
    }
  values.push_back({valueName, RegValue::Text, text, 0});
}

void RegKey::SetDword(const std::string& valueName, std::uint32_t value)
{
  for (RegValue& v : values)
    if (EqualsNoCase(v.name, valueName)) {
      v = {v.name, RegValue::Dword, std::string(), value};
      return;
    }
  values.push_back({valueName, RegValue::Dword, std::string(), value});
}

const RegKey* RegFile::Find(const std::string& keyName) const
{
  for (const RegKey& k : m_keys)
    if (EqualsNoCase(k.name, keyName))
      return &k;
  return nullptr;
}

RegKey& RegFile::Create(const std::string& keyName)
{
  for (RegKey& k : m_keys)
    if (EqualsNoCase(k.name, keyName))
      return k;
  m_keys.push_back({keyName, {}});
  return m_keys.back();
}

std::string Trim(const std::string& s)
{
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t'))
    ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
    --e;
  return s.substr(b, e - b);
}

std::optional<RegFile> RegFile::Parse(const std::string& content)
{
  std::string text = content;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
    text.erase(0, 3);
  std::vector<std::string> lines;
  {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos)
        end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      lines.push_back(std::move(line));
      start = end + 1;
    }
  }
  RegFile file;
  bool header = false;
  RegKey* key = nullptr;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = Trim(lines[i]);
    if (line.empty() || line[0] == ';')
      continue;
    if (!header) {
      if (line != kHeader && line != "REGEDIT4")
        return std::nullopt;
      header = true;
      continue;
    }
    if (line[0] == '[') {
      if (line.size() < 3 || line.back() != ']')
        return std::nullopt;
      key = &file.Create(line.substr(1, line.size() - 2));
      continue;
    }
    if (!key)
      return std::nullopt;
    // A value written over several lines ends each but the last with a backslash.
    // Past the file's last line each one continues into nothing: dropping them
    // keeps a value from ending in a backslash, which would swallow the line
    // written after it at the next save.
    while (!line.empty() && line.back() == '\\') {
      line.pop_back();
      if (i + 1 < lines.size())
        line += Trim(lines[++i]);
    }
    line = Trim(line); // blanks before a dropped backslash, or before an empty last part
    if (line.empty())
      return std::nullopt;
    RegValue v;
    std::size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!ReadQuoted(line, pos, v.name)) {
      return std::nullopt;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
      ++pos;
    if (pos >= line.size() || line[pos] != '=')
      return std::nullopt;
    ++pos;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
      ++pos;
    const std::string rhs = line.substr(pos);
    if (!rhs.empty() && rhs[0] == '"') {
      std::size_t p = 0;
      if (!ReadQuoted(rhs, p, v.text) || !Trim(rhs.substr(p)).empty())
        return std::nullopt;
      v.type = RegValue::Text;
    } else if (rhs.size() > 6 && EqualsNoCase(rhs.substr(0, 6), "dword:")) {
      const std::string digits = Trim(rhs.substr(6));
      if (digits.empty() || digits.size() > 8)
        return std::nullopt;
      std::uint32_t value = 0;
      for (char c : digits) {
        if (HexDigit(c) < 0)
          return std::nullopt;
        value = value * 16 + std::uint32_t(HexDigit(c));
      }
      v.type = RegValue::Dword;
      v.dword = value;
    } else if (!rhs.empty()) {
      v.type = RegValue::Other;
      v.text = rhs;
    } else {
      return std::nullopt;
    }
    bool replaced = false;
    for (RegValue& old : key->values)
      if (EqualsNoCase(old.name, v.name)) {
        old = v;
        replaced = true;
      }
    if (!replaced)
      key->values.push_back(std::move(v));
  }
  if (!header)
    return std::nullopt;
  return file;
}

std::string RegFile::Serialize() const
{
  std::string out = std::string(kHeader) + "\r\n";
  for (const RegKey& k : m_keys) {
    out += "\r\n[" + k.name + "]\r\n";
    for (const RegValue& v : k.values) {
      out += v.name.empty() ? std::string("@") : Quote(v.name);
      out += '=';
      if (v.type == RegValue::Text) {
        out += Quote(v.text);
      } else if (v.type == RegValue::Dword) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
        out += buf;
      } else {
        out += v.text;
      }
      out += "\r\n";
    }
  }
  return out;
}

bool ReadWholeFile(const std::string& path, std::string& content)
{
  content.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      content.append(buf, std::size_t(n));
      // A settings file is small; anything this large is not one of ours.
      if (content.size() > (std::size_t(16) << 20)) {
        ::close(fd);
        errno = EFBIG;
        return false;
      }
      continue;
    }
    if (n == 0)
      break;
    if (errno == EINTR)
      continue;
    const int e = errno;
    ::close(fd);
    errno = e;
    return false;
  }
  ::close(fd);
  return true;
}

void WriteFileAtomically(const std::string& path, const std::string& content)
{
  const QString file = QString::fromStdString(path);
  const QString dir = QFileInfo(file).absolutePath();
  if (!QDir().mkpath(dir))
    throw std::runtime_error("cannot create " + dir.toStdString());
  QSaveFile out(file);
  if (!out.open(QIODevice::WriteOnly))
    throw std::runtime_error(out.errorString().toStdString());
  if (out.write(content.data(), qint64(content.size())) != qint64(content.size()))
    throw std::runtime_error(out.errorString().toStdString()); // QSaveFile drops the new file
  if (!out.commit()) // flushes to disk, then renames over the old file
    throw std::runtime_error(out.errorString().toStdString());
  // Make the rename itself durable.
  const int d = ::open(dir.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d >= 0) {
    ::fsync(d);
    ::close(d);
  }
}

void BackUpBadFile(const std::string& path)
{
  const QString from = QString::fromStdString(path);
  const QString to = from + QStringLiteral(".bad-") +
                     QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
  if (!QFile::copy(from, to))
    throw std::runtime_error("cannot keep a copy of " + path);
}

} // namespace dz
