#pragma once

// What the fuzz targets share: reading structured values off the input, and a
// check that turns a broken promise into a crash libFuzzer keeps the input of.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace dzfuzz {

// Takes bytes off the front of the input; past the end it yields zeros and
// empty texts, so every input is a valid one.
class Input {
public:
  Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  std::uint8_t Byte()
  {
    return m_pos < m_size ? m_data[m_pos++] : 0;
  }
  std::string Text(std::size_t maxLength)
  {
    const std::size_t length = maxLength == 0 ? 0 : Byte() % (maxLength + 1);
    return Bytes(length);
  }
  std::string Bytes(std::size_t length)
  {
    const std::size_t n = length < Left() ? length : Left();
    std::string out(reinterpret_cast<const char*>(m_data + m_pos), n);
    m_pos += n;
    return out;
  }
  std::string Rest() { return Bytes(Left()); }
  std::size_t Left() const { return m_size - m_pos; }

private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

[[noreturn]] inline void Fail(const char* what, const std::string& detail, const char* file, int line)
{
  std::fprintf(stderr, "%s:%d: broken: %s\n  %s\n", file, line, what, detail.c_str());
  std::abort();
}

// Printable form of bytes for the failure report.
inline std::string Show(std::string_view bytes)
{
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out + "\"";
}

} // namespace dzfuzz

#define DZ_CHECK(cond, detail)                                                                                   \
  do {                                                                                                           \
    if (!(cond))                                                                                                 \
      ::dzfuzz::Fail(#cond, (detail), __FILE__, __LINE__);                                                       \
  } while (0)
