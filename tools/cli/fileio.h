#pragma once

#include <string>

namespace dz::cli {

// Reads a whole file ("-" or empty path: standard input) as bytes.
// Returns false with a message in `error` when it cannot.
bool ReadAll(const std::string& path, std::string& contents, std::string& error);

// Writes bytes to standard output ("-" or empty path) or replaces the file at
// `path` atomically: a temporary file beside it is written, closed and
// renamed over it, so a failure leaves the old file (or no file) untouched.
bool WriteAllAtomically(const std::string& path, const std::string& contents, std::string& error);

} // namespace dz::cli
