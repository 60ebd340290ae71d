#pragma once

// Where a stream stops being one that a card can send: a line longer than any
// card line, or more bytes than any card holds (models.h gives the bounds).
// What comes beyond is line noise, a wrong port or a wrong rate, and is kept
// nowhere: it would otherwise run for ever and fill the disk.

#include <cstddef>
#include <string_view>

namespace dz {

class CardBound {
public:
  enum class Beyond { Nothing, LongLine, TooManyBytes };

  // How many of `bytes`, coming after all those taken so far, can still
  // belong to a card. Once that is fewer than all of them, no byte after is
  // taken either.
  std::size_t Take(std::string_view bytes);

  // What the stream went beyond, if it did.
  Beyond Why() const { return m_why; }
  bool Exceeded() const { return m_why != Beyond::Nothing; }

private:
  std::size_t m_taken = 0;
  std::size_t m_openLine = 0; // characters since the last line break
  Beyond m_why = Beyond::Nothing;
};

} // namespace dz
