#include "recorder.h"

#include <memory>

namespace dz {

ArchiveRecorder::ArchiveRecorder(std::string archivePath, DownloadStart start, NoticeHandler onNotice)
  : m_path(std::move(archivePath)), m_start(std::move(start)), m_started(StampNow()),
    m_onNotice(std::move(onNotice)), m_thread([this] {
      Run();
      m_done = true;
    })
{
}

ArchiveRecorder::~ArchiveRecorder()
{
  Finish({EndReason::Quit, m_start.Model, std::nullopt, std::nullopt});
  Wait();
}

void ArchiveRecorder::Append(std::string_view bytes)
{
  const std::lock_guard lock(m_mutex);
  if (!m_finished)
    m_pending.append(bytes);
}

void ArchiveRecorder::NoteLineLost()
{
  const std::lock_guard lock(m_mutex);
  m_lineLost = true;
}

void ArchiveRecorder::Finish(DownloadEnd end)
{
  {
    const std::lock_guard lock(m_mutex);
    if (m_finished)
      return;
    m_finished = true;
    m_end = std::move(end);
    if (m_lineLost)
      m_end.Reason = EndReason::LineLost;
  }
  m_wake.notify_one();
}

void ArchiveRecorder::Wait()
{
  if (m_thread.joinable())
    m_thread.join();
}

void ArchiveRecorder::Tell(const ArchiveNotice& notice)
{
  // A failure is said once per download; a file moved aside each time it happens.
  if (notice.What == ArchiveNotice::CannotWrite) {
    if (m_toldFailure)
      return;
    m_toldFailure = true;
  }
  if (m_onNotice)
    m_onNotice(notice);
}

void ArchiveRecorder::Run()
{
  std::unique_ptr<Archive> archive;
  std::unique_ptr<LiveLock> lock;
  std::int64_t id = 0;
  std::int64_t total = 0;
  LineCounter lines;

  const auto fail = [this](const std::exception& e) { Tell({ArchiveNotice::CannotWrite, m_path, {}, e.what()}); };
  // Opens the archive and creates the entry; tried again at each batch until it works.
  const auto begin = [&] {
    std::vector<ArchiveNotice> notices;
    try {
      if (!archive)
        archive = Archive::OpenForWriting(m_path, notices);
      if (!m_start.Erase && !lock)
        lock = std::make_unique<LiveLock>(m_path);
      archive->MarkInterrupted();
      id = archive->Begin(m_start, m_started, lock ? lock->Name() : std::string());
      m_id = id;
    } catch (const std::exception& e) {
      for (const ArchiveNotice& n : notices)
        Tell(n);
      fail(e);
      return;
    }
    for (const ArchiveNotice& n : notices)
      Tell(n);
  };

  // The entry exists from the start, so that a download listed while it
  // runs is seen as running.
  begin();
  if (m_start.Erase)
    return;
  // Two buffers change places at each batch, so that Append, in the receive
  // handler, finds room already made and copies without allocating.
  std::string batch;
  for (;;) {
    bool finishing = false;
    DownloadEnd end;
    batch.clear();
    {
      std::unique_lock guard(m_mutex);
      m_wake.wait_for(guard, kBatchInterval, [this] { return m_finished; });
      batch.swap(m_pending);
      finishing = m_finished;
      end = m_end;
    }
    if (id == 0)
      begin();
    if (id != 0 && !batch.empty()) {
      LineCounter after = lines;
      after.Add(batch);
      try {
        archive->Add(id, batch, total + static_cast<std::int64_t>(batch.size()), after.Lines(), StampNow());
        lines = after;
        total += static_cast<std::int64_t>(batch.size());
        batch.clear();
      } catch (const std::exception& e) {
        fail(e);
      }
    }
    if (!batch.empty() && !finishing) {
      // Kept for the next try, ahead of what came since.
      const std::lock_guard guard(m_mutex);
      m_pending.insert(0, batch);
      batch.clear();
    }
    if (finishing) {
      if (id != 0) {
        try {
          archive->End(id, end, StampNow());
        } catch (const std::exception& e) {
          fail(e);
        }
      }
      return;
    }
  }
}

} // namespace dz
