#pragma once

namespace dz {

// Start-up: the program's number format ("," and "."), then its 19 windows
// in their order of creation (the chart window shown at once).
void CreateProgramWindows();

// Shows the main window, centred, as the event loop begins.
void ShowMainWindow();

// Destroys the windows in reverse order; the main window last, which closes a
// download still open without converting it.
void DestroyProgramWindows();

} // namespace dz
