#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace dz {

// A conversion failure. what() is the exact text the user sees in the error
// box (the box adds the full stop itself, Overview conventions); Sample() is
// the 1-based sample at which the conversion stopped, or 0 where no sample is
// involved (a formula or a parser called on its own).
class ConvertError : public std::runtime_error {
public:
  explicit ConvertError(const std::string& message, int sample = 0)
    : std::runtime_error(message), m_sample(sample)
  {
  }

  int Sample() const noexcept { return m_sample; }

private:
  int m_sample;
};

// Characters of a piece that a message quotes at most. A line of noise can be
// megabytes long; the error box and a terminal need only its start.
inline constexpr std::size_t kQuotedCharacters = 80;

// A piece of received or typed text as a message quotes it: at most
// kQuotedCharacters characters, then "…" when more follow. Control
// characters, DEL and bytes that are not UTF-8 are shown as \xNN (and a
// backslash as two), so that a NUL cannot cut the message short and line
// noise cannot drive a terminal.
std::string QuotedPiece(std::string_view text);

// The messages the user sees, in one place.
inline std::string NotAnIntegerMessage(std::string_view text)
{
  return "'" + QuotedPiece(text) + "' is not a valid integer value";
}
inline std::string NotAFloatMessage(std::string_view text)
{
  return "'" + QuotedPiece(text) + "' is not a valid floating point value";
}
inline constexpr const char* kDivisionByZeroMessage = "Floating point division by zero";
inline constexpr const char* kInvalidOperationMessage = "Invalid floating point operation";
inline constexpr const char* kOverflowMessage = "Floating point overflow";

} // namespace dz
