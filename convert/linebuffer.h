#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dz {

// The raw line buffer (RichEdit1): every byte received since the last
// Clear(), unchanged, read as lines split at CR, LF or CR LF.
//
// An index of line starts and ends is kept up to date on each Append, so
// LineCount() and Line(n) take constant time and appending is linear in the
// bytes appended, however small the chunks. A CR that ends one chunk and an LF
// that begins the next are one line break, as if they had come together.
class LineBuffer {
public:
  LineBuffer();

  void Append(std::string_view bytes);
  void Clear();

  // Lines, not counting an empty last line after a final line break.
  int LineCount() const;
  // Line n counted from 0, without its line break; empty for n < 0 or at or
  // past the end. The view is valid until the next Append or Clear.
  std::string_view Line(int n) const;
  // Everything appended, line breaks included.
  const std::string& Text() const { return m_text; }

private:
  std::string m_text;
  // m_starts[i] is where line i begins; the last entry is the line being
  // received (possibly empty). m_ends[i] is where finished line i ends, before
  // its line break, so m_ends.size() == m_starts.size() - 1.
  std::vector<std::size_t> m_starts;
  std::vector<std::size_t> m_ends;
};

} // namespace dz
