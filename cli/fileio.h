#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dz::cli {

struct ReadFailure {
  std::string Message;
  bool TooLarge = false; // readable, but more than the limit: no card
};

// Reads a whole file ("-": standard input) as bytes, at most `limit` of them:
// a larger input is refused as soon as that is known, without reading on, so
// that /dev/zero or a wrong file cannot fill memory.
std::optional<ReadFailure> ReadAll(const std::string& path, std::size_t limit, std::string& contents);

// Writes all of `bytes` to `fd`; false with errno set when a write fails.
bool WriteAllFd(int fd, std::string_view bytes);

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
