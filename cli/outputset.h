#pragma once

// The files one command reads and writes, checked together before anything is
// opened and written together as one transaction. Every command that writes
// files goes through it, so they all follow the same rules:
//
// - No output is another output, nor the input (when that is a regular file),
//   nor the serial device, nor any file of the archive of downloads. Files are compared as files: device and inode of
//   what exists, after following links; the resolved path of what does not
//   exist yet. So "./y.txt" and "y.txt", a hard link and a symbolic link all
//   count as the same file. Such a call is a usage error.
// - A regular output is written to a temporary file in its own folder; the
//   temporaries replace their targets only once every output is complete, so
//   on any failure none is replaced. A replaced file keeps its permissions.
// - A symbolic link is followed: its target is replaced, the link stays.
// - A character device or a FIFO ("-o /dev/stdout", "/dev/null") is written
//   in place and its write errors reported; nothing that is not a regular file
//   is ever replaced.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace dz::cli {

class OutputSet {
public:
  // Each file is named for messages by its option ("-o", "--csv", "--raw",
  // "--port", "the input"). "-" is standard input or output.

  // A file the command reads. An output may be it only when it is no regular
  // file (a terminal read and written by the same run loses nothing).
  void AddInput(std::string option, std::string path);
  // The serial device: no output may be it, whatever it is.
  void AddDevice(std::string option, std::string path);
  // A file that the command writes itself as data arrives (the raw download).
  void AddWrittenByCaller(std::string option, std::string path);
  // An output that Commit writes; the number to give SetContents.
  std::size_t AddOutput(std::string option, std::string path);
  void SetContents(std::size_t output, std::string contents);
  // Contents too large to hold: the bytes of the file at `path`, copied.
  void SetContentsFile(std::size_t output, std::string path);

  // Before anything is opened or written. A usage message when a name is
  // empty, two outputs go to standard output, or two of the files are one.
  std::optional<std::string> Check() const;

  // Writes every output (all temporaries complete, then devices and FIFOs in
  // place, then the renames). A message naming the file when one fails; no
  // regular output has been replaced then, unless a rename itself failed.
  std::optional<std::string> Commit();

private:
  enum class Role { Input, Device, WrittenByCaller, Output };
  struct File {
    Role Kind;
    std::string Option;
    std::string Path;
    std::string Contents;
    std::string ContentsFile;
  };
  static bool WriteContents(const File& f, int fd);
  std::vector<File> m_files;
};

} // namespace dz::cli
