#pragma once

// What "Descargas anteriores" asks of the main window. The two windows know
// each other only through this: the archive window never reaches into the
// main window's controls, and the main window knows nothing of the archive
// window beyond creating and showing it.

#include <optional>
#include <string>

class QWidget;

namespace dz {

// An archived download as it goes back into the main window.
struct ReopenedDownload {
  std::string Raw; // the bytes exactly as received
  int Model = -1;  // the model it converts with
  std::optional<std::string> Constant; // radiation fields as they were typed
  std::optional<std::string> Offset;
};

class ArchiveHost {
public:
  // The window the archive window belongs to.
  virtual QWidget* HostWindow() = 0;
  // Whether a live download is open (a reopened one would mix with it).
  virtual bool DownloadOpen() const = 0;
  // Brings the main window to the front and leaves it as closing that
  // download would have: the bytes in the buffer, the model selected, the
  // radiation fields, the grid converted.
  virtual void Reopen(const ReopenedDownload& download) = 0;
  // The radiation constant and offset typed in the main window now: what a
  // radiation download that kept none converts with.
  virtual std::string TypedConstant() const = 0;
  virtual std::string TypedOffset() const = 0;

protected:
  ~ArchiveHost() = default;
};

} // namespace dz
