#include "linebuffer.h"

namespace dz {

LineBuffer::LineBuffer()
{
  m_starts.push_back(0);
}

void LineBuffer::Append(std::string_view bytes)
{
  const std::size_t base = m_text.size();
  m_text.append(bytes);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n')
      continue;
    const std::size_t at = base + i;
    if (c == '\n' && at > 0 && m_text[at - 1] == '\r') {
      // Second half of CR LF (possibly split across two chunks): the CR has
      // already ended the line, the next line begins after the LF.
      m_starts.back() = at + 1;
      continue;
    }
    m_ends.push_back(at);
    m_starts.push_back(at + 1);
  }
}

void LineBuffer::Clear()
{
  m_text.clear();
  m_starts.assign(1, 0);
  m_ends.clear();
}

int LineBuffer::LineCount() const
{
  const bool partialLastLine = m_text.size() > m_starts.back();
  return static_cast<int>(m_ends.size()) + (partialLastLine ? 1 : 0);
}

std::string_view LineBuffer::Line(int n) const
{
  if (n < 0 || n >= LineCount())
    return {};
  const auto i = static_cast<std::size_t>(n);
  const std::size_t start = m_starts[i];
  const std::size_t end = i < m_ends.size() ? m_ends[i] : m_text.size();
  return std::string_view(m_text).substr(start, end - start);
}

std::string_view WholeLines(std::string_view text)
{
  const std::size_t lastBreak = text.find_last_of("\r\n");
  return lastBreak == std::string_view::npos ? std::string_view() : text.substr(0, lastBreak + 1);
}

} // namespace dz
