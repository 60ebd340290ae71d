#pragma once

// Records one download into the archive as it arrives, off the receiving
// thread: Append only copies the bytes under a lock; a writer thread of the
// recorder's own commits them in batches, at least once a second and at the
// end, each in a transaction. A failure of the archive is reported once
// through the notice handler and never reaches the download.
//
// What cannot be written is kept and tried again at each batch: a lock
// another program holds, a full disk or a read-only file that is mended
// meanwhile, a damaged file that is set aside for a new one. Once the
// download has ended, a lock is waited for up to a bound, anything else is
// tried once more; then the entry, if there is one, says it is incomplete.
// Only what can be a card is kept: the rest is no download.

#include "archive.h"
#include "cardbound.h"

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
  // How long an ended download waits for a lock another program holds.
  static constexpr std::chrono::milliseconds kLockedWait{60000};

  // Starts recording now. An erase (start.Erase) is written at once and
  // needs no Finish.
  ArchiveRecorder(std::string archivePath, DownloadStart start, NoticeHandler onNotice,
                  std::chrono::milliseconds lockedWait = kLockedWait);
  // Ends the download as "quit" when Finish was not called, and waits until
  // the last batch is written or given up.
  ~ArchiveRecorder();
  ArchiveRecorder(const ArchiveRecorder&) = delete;
  ArchiveRecorder& operator=(const ArchiveRecorder&) = delete;

  void Append(std::string_view bytes);
  // The line was lost on the way: the download ends as "line-lost".
  void NoteLineLost();
  // Returns at once; the writer thread commits what is left and ends the entry.
  void Finish(DownloadEnd end);
  // Finish as "quit", unless it was finished already.
  void Quit();
  // Until everything is written, or given up.
  void Wait();

  // The entry's id once the archive has it, else 0.
  std::int64_t Id() const { return m_id.load(); }
  // Whether the writer thread is through (Wait would not block).
  bool Done() const { return m_done.load(); }
  // Once Done: whether the download is in the archive whole and ended.
  bool Archived() const { return m_archived.load(); }

private:
  struct Entry;
  void Run();
  bool Step(Entry& e, bool finishing, const DownloadEnd& end);
  void Tell(const ArchiveNotice& notice);
  bool GivingUp() const;

  const std::string m_path;
  const DownloadStart m_start;
  const Stamp m_started;
  const NoticeHandler m_onNotice;
  const std::chrono::milliseconds m_lockedWait;
  std::atomic<std::int64_t> m_id{0};
  std::atomic<bool> m_done{false};
  std::atomic<bool> m_archived{false};
  // Set once the bytes can be no card: Append keeps none after.
  std::atomic<bool> m_refusing{false};
  // Writer thread only.
  bool m_toldFailure = false;
  bool m_toldNoCard = false;
  CardBound m_bound;

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::string m_pending;
  std::size_t m_appended = 0;
  bool m_finished = false;
  bool m_lineLost = false;
  DownloadEnd m_end;
  // When Finish came; read by the lock wait on the writer thread.
  std::atomic<std::chrono::steady_clock::rep> m_finishedAt{0};

  std::thread m_thread; // last: started when everything else is ready
};

} // namespace dz
