#include "regstore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dz {

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Names already read, so that a repeated key or value is found at once: an
// open-addressing table of positions sized for the file's lines (each name
// takes one at least), so a store of any size reads in linear time, without
// an allocation per name. Keys are group 0, the values of key k group k + 1.
class NameTable {
public:
  static constexpr std::uint32_t kFree = 0xFFFFFFFF;
  struct Slot {
    std::uint64_t Hash = 0;
    std::uint32_t Group = 0;
    std::uint32_t Position = kFree;
  };

  explicit NameTable(std::size_t names) : m_slots(std::bit_ceil(2 * names + 2)) {}

  // The slot of the name in the group when `same` recognises it at a
  // position already there, or else the free slot where it goes.
  template <class Same>
  Slot& Find(std::string_view name, std::uint32_t group, Same same)
  {
    std::uint64_t hash = 14695981039346656037ull ^ group; // FNV-1a, letter case ignored
    for (const char c : name)
      hash = (hash ^ static_cast<unsigned char>(Lower(c))) * 1099511628211ull;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = m_slots[i];
      if (slot.Position == kFree) {
        slot.Hash = hash;
        slot.Group = group;
        return slot;
      }
      if (slot.Hash == hash && slot.Group == group && same(slot.Position))
        return slot;
    }
  }

private:
  std::vector<Slot> m_slots;
};

std::string_view TrimView(std::string_view s)
{
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

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
bool ReadQuoted(std::string_view s, std::size_t& pos, std::string& out)
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

bool EqualsNoCase(std::string_view a, std::string_view b)
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

std::string Trim(const std::string& s) { return std::string(TrimView(s)); }

std::optional<RegFile> RegFile::Parse(const std::string& content)
{
  std::string_view text = content;
  if (text.starts_with("\xEF\xBB\xBF"))
    text.remove_prefix(3);
  // The lines as views of the content, without their CR: nothing is copied
  // but the line at hand. Past the last line break comes one more (empty) line.
  std::size_t next = 0;
  const auto nextLine = [&](std::string_view& line) {
    if (next > text.size())
      return false;
    std::size_t end = text.find('\n', next);
    if (end == std::string_view::npos)
      end = text.size();
    line = text.substr(next, end - next);
    if (line.ends_with('\r'))
      line.remove_suffix(1);
    next = end + 1;
    return true;
  };
  RegFile file;
  bool header = false;
  NameTable names(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::size_t key = 0; // 1 + the index of the current key; 0 before any
  for (std::string_view raw; nextLine(raw);) {
    std::string_view line = TrimView(raw);
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
      const std::string_view name = line.substr(1, line.size() - 2);
      NameTable::Slot& slot =
        names.Find(name, 0, [&](std::uint32_t at) { return EqualsNoCase(file.m_keys[at].name, name); });
      if (slot.Position == NameTable::kFree) {
        slot.Position = static_cast<std::uint32_t>(file.m_keys.size());
        file.m_keys.push_back({std::string(name), {}});
      }
      key = slot.Position + 1;
      continue;
    }
    if (key == 0)
      return std::nullopt;
    // A value written over several lines ends each but the last with a backslash.
    // Past the file's last line each one continues into nothing: dropping them
    // keeps a value from ending in a backslash, which would swallow the line
    // written after it at the next save. An empty part leaves the blanks before
    // its backslash at the end; they go too, so that a backslash before them
    // continues the value as well.
    std::string joined;
    if (line.back() == '\\') {
      joined = line;
      std::string_view more;
      while (!joined.empty() && joined.back() == '\\') {
        joined.pop_back();
        if (nextLine(more))
          joined += TrimView(more);
        while (!joined.empty() && (joined.back() == ' ' || joined.back() == '\t'))
          joined.pop_back();
      }
      line = joined;
    }
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
    const std::string_view rhs = line.substr(pos);
    if (!rhs.empty() && rhs[0] == '"') {
      std::size_t p = 0;
      if (!ReadQuoted(rhs, p, v.text) || !TrimView(rhs.substr(p)).empty())
        return std::nullopt;
      v.type = RegValue::Text;
    } else if (rhs.size() > 6 && EqualsNoCase(rhs.substr(0, 6), "dword:")) {
      const std::string_view digits = TrimView(rhs.substr(6));
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
      v.text = std::string(rhs);
    } else {
      return std::nullopt;
    }
    std::vector<RegValue>& values = file.m_keys[key - 1].values;
    NameTable::Slot& slot = names.Find(v.name, static_cast<std::uint32_t>(key),
                                       [&](std::uint32_t at) { return EqualsNoCase(values[at].name, v.name); });
    if (slot.Position == NameTable::kFree) {
      slot.Position = static_cast<std::uint32_t>(values.size());
      values.push_back(std::move(v));
    } else {
      values[slot.Position] = std::move(v); // the last one wins, in the first one's place
    }
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
  // Without blocking: a FIFO (or a device) put where the store belongs would
  // otherwise hold the program at the open for ever. Only a regular file is a
  // store; anything else fails as an unreadable one and is left as it is.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0)
    return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return false;
  }
  // A settings file is small; anything this large is not one of ours.
  constexpr std::size_t kLargest = std::size_t(16) << 20;
  if (static_cast<std::size_t>(st.st_size) <= kLargest)
    content.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      content.append(buf, std::size_t(n));
      if (content.size() > kLargest) {
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
