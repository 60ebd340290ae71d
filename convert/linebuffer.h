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
  // Lines that have their line break: a last line without one may still be
  // arriving, so no later byte can change these.
  int FinishedLineCount() const { return static_cast<int>(m_ends.size()); }
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

// The text up to and with its last line break. A last line without its line
// end is no line yet: on the port it may still be arriving, in a raw file the
// stream was cut there ("15" kept as "1"). A download and the converter of a
// raw file both leave it out, so that the same bytes convert alike.
std::string_view WholeLines(std::string_view text);

} // namespace dz
