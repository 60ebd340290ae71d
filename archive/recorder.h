#pragma once

// Records one download into the archive as it arrives, off the receiving
// thread: Append only copies the bytes under a lock; a writer thread of the
// recorder's own commits them in batches, at least once a second and at the
// end, each in a transaction. A failure of the archive is reported once
// through the notice handler and never reaches the download.

#include "archive.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace dz {

class ArchiveRecorder {
public:
  // Called on the writer thread: the handler must hand the notice over to
  // whatever thread shows it.
  using NoticeHandler = std::function<void(const ArchiveNotice&)>;

  // How often a batch is committed while bytes arrive.
  static constexpr std::chrono::milliseconds kBatchInterval{400};

  // Starts recording now. An erase (start.Erase) is written at once and
  // needs no Finish.
  ArchiveRecorder(std::string archivePath, DownloadStart start, NoticeHandler onNotice);
  // Ends the download as "quit" when Finish was not called, and waits until
  // the last batch is written.
  ~ArchiveRecorder();
  ArchiveRecorder(const ArchiveRecorder&) = delete;
  ArchiveRecorder& operator=(const ArchiveRecorder&) = delete;

  void Append(std::string_view bytes);
  // The line was lost on the way: the download ends as "line-lost".
  void NoteLineLost();
  // Returns at once; the writer thread commits what is left and ends the entry.
  void Finish(DownloadEnd end);
  // Until everything is written, or given up.
  void Wait();

  // The entry's id once the archive has it, else 0.
  std::int64_t Id() const { return m_id.load(); }
  // Whether the writer thread is through (Wait would not block).
  bool Done() const { return m_done.load(); }

private:
  void Run();
  void Tell(const ArchiveNotice& notice);

  const std::string m_path;
  const DownloadStart m_start;
  const Stamp m_started;
  const NoticeHandler m_onNotice;
  std::atomic<std::int64_t> m_id{0};
  std::atomic<bool> m_done{false};
  bool m_toldFailure = false; // writer thread only

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::string m_pending;
  bool m_finished = false;
  bool m_lineLost = false;
  DownloadEnd m_end;

  std::thread m_thread; // last: started when everything else is ready
};

} // namespace dz
