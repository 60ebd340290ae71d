#pragma once

// Converting a raw stream without a window: what the command line and the
// archive window do with bytes that are not the main window's buffer.

#include "cellgrid.h"
#include "errors.h"

#include <optional>
#include <string>
#include <string_view>

namespace dz {

// What becomes of a last line that has no line end.
enum class LastLine {
  // A line as any other, as the window's buffer reads it: how every stream
  // and raw file converts.
  AsItStands,
  // Left out: for a download known to have been cut off in the middle of that
  // line (the cable pulled, the program killed or interrupted), where it may
  // hold "1" of a "15".
  LeaveOutCut,
};

// A conversion into an empty grid, as the window does it on closing a download.
struct Converted {
  CellGrid Grid;
  int Rows = 0;                      // rows converted in full, from 1
  std::optional<ConvertError> Error; // where and why it stopped, if it did
  // The stream ends inside a line that the model reads (LastLine says what
  // became of it); a line after the model's last one changes nothing.
  bool EndsInsideLine = false;
};

// The radiation model reads the constant and offset as the panel's texts, in
// the program's number format.
Converted ConvertStream(int model, const std::string& constant, const std::string& offset,
                        std::string_view received, LastLine last = LastLine::AsItStands);

// A download converted as it was received, by the one rule for a download,
// live or archived: the samples whose lines all arrived are converted; one
// of them that does not convert is a failure, and nothing is written; a
// sample that had not wholly arrived ends the conversion of a short download.
struct DownloadConversion {
  Converted Result;
  int WholeSamples = 0; // samples whose lines all came with their line ends
  int Samples = 0;      // what a full card holds, by the model
  bool Failed() const { return Result.Error && Result.Error->Sample() <= WholeSamples; }
  bool Short() const { return !Failed() && Result.Rows < Samples; }
};
DownloadConversion ConvertDownload(int model, const std::string& constant, const std::string& offset,
                                   std::string_view received, LastLine last);

} // namespace dz
