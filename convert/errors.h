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

// The messages the user sees, in one place.
inline std::string NotAnIntegerMessage(std::string_view text)
{
  return "'" + std::string(text) + "' is not a valid integer value";
}
inline std::string NotAFloatMessage(std::string_view text)
{
  return "'" + std::string(text) + "' is not a valid floating point value";
}
inline constexpr const char* kDivisionByZeroMessage = "Floating point division by zero";
inline constexpr const char* kInvalidOperationMessage = "Invalid floating point operation";
inline constexpr const char* kOverflowMessage = "Floating point overflow";

} // namespace dz
