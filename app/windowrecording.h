#pragma once

// The main window's downloads and erases, recorded into the archive of
// downloads. TForm1's port handlers call it; the bytes only change hands
// here, the archive is written on the recorder's own thread.

#include "archive.h"

#include <memory>
#include <string_view>
#include <vector>

class TForm1;

namespace dz {

class ArchiveRecorder;

class WindowRecording {
public:
  explicit WindowRecording(TForm1& form);
  // A download still open ends as "quit"; waits for its last batch.
  ~WindowRecording();
  WindowRecording(const WindowRecording&) = delete;
  WindowRecording& operator=(const WindowRecording&) = delete;

  void Opened();                          // ComPortOpen
  void Received(std::string_view bytes);  // ComPortRxChar, every read
  void LineLost();                        // the device went away
  void Closed(EndReason reason = EndReason::Closed); // ComPortClose, before converting
  void EraseSent();                       // "BORRAR": the command went out

private:
  void End(std::unique_ptr<ArchiveRecorder> recorder);

  TForm1& m_form;
  std::unique_ptr<ArchiveRecorder> m_recorder;
  // Ended recorders finishing their last write; let go once done.
  std::vector<std::unique_ptr<ArchiveRecorder>> m_ending;
};

} // namespace dz
