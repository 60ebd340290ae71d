#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dz::cli {

// Reads a whole file ("-" or empty path: standard input) as bytes.
// Returns false with a message in `error` when it cannot.
bool ReadAll(const std::string& path, std::string& contents, std::string& error);

// Writes bytes to standard output ("-" or empty path) or replaces the file at
// `path` atomically: a temporary file beside it is written, closed and
// renamed over it, so a failure leaves the old file (or no file) untouched.
bool WriteAllAtomically(const std::string& path, const std::string& contents, std::string& error);

// The raw download as it arrives: every chunk is written through at once, so
// whatever was received survives a crash, a pulled cable or Ctrl-C.
class RawFile {
public:
  RawFile() = default;
  ~RawFile();
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;

  // Creates the file, or takes an empty one. A file that already holds data
  // is refused: appending a second download would make it convert as the
  // first one.
  bool Open(const std::string& path, std::string& error);
  bool IsOpen() const { return m_fd >= 0; }
  bool Append(std::string_view bytes, std::string& error);
  // fsync and close. A file that never received a byte is removed again when
  // Open created it.
  bool Finish(std::string& error);

private:
  std::string m_path;
  int m_fd = -1;
  bool m_created = false;
  std::size_t m_written = 0;
};

} // namespace dz::cli
