#pragma once

// The archive entries of the command line's downloads and erases. Warnings
// about the archive go to standard error; the command goes on regardless.

#include "output.h"
#include "recorder.h"

#include <memory>
#include <string_view>

class TCustomComPort;

namespace dz::cli {

// Starts the entry of a download of request.Model on the open port.
std::unique_ptr<ArchiveRecorder> StartRecording(std::string_view command, const TCustomComPort& port, int model);

// Ends it, with the radiation constant and offset when the model uses them.
// Returns at once: the archive takes the rest off the download's path.
void EndRecording(ArchiveRecorder* recorder, const OutputRequest& request, EndReason reason);

// Waits until the archive has taken it: once the outputs are written, so
// that another program's lock on the archive never holds them up. Such a
// lock is waited for at most a minute, and said.
// Then dates the entry with the request's --start and --interval.
void AwaitRecording(std::string_view command, ArchiveRecorder* recorder, bool quiet, const OutputRequest& request);

// Records an erase command sent on the port; returns once it is written.
void RecordErase(std::string_view command, const TCustomComPort& port);

} // namespace dz::cli
