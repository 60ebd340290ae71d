#pragma once

class QString;

namespace dz {

// Start-up: the program's number format ("," and "."), then its 19 windows
// in their order of creation (the chart window shown at once).
void CreateProgramWindows();

// The serial device to use in this run, in place of the stored port; the
// stored settings stay as they are unless the user stores them.
void UsePortForThisRun(const QString& device);

// Shows the main window, centred, as the event loop begins.
void ShowMainWindow();

// Destroys the windows in reverse order; the main window last, which closes a
// download still open without converting it.
void DestroyProgramWindows();

} // namespace dz
