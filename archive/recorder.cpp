#include "recorder.h"

#include "models.h"

#include <memory>
#include <vector>

namespace dz {

// The download's entry as the writer thread knows it.
struct ArchiveRecorder::Entry {
  std::unique_ptr<Archive> Store;
  std::unique_ptr<LiveLock> Lock;
  FileIdentity File;       // the archive file the entry is in
  std::int64_t Id = 0;
  std::string Kept;        // every byte that can be a card, as received
  std::size_t Written = 0; // of Kept, committed to the entry
  LineCounter WrittenLines;
  bool Gone = false;       // deleted by another program while written
  bool LastBusy = false;   // the last try met another program's lock
  std::string LastError;
};

namespace {

std::chrono::steady_clock::rep Now()
{
  return std::chrono::steady_clock::now().time_since_epoch().count();
}

} // namespace

ArchiveRecorder::ArchiveRecorder(std::string archivePath, DownloadStart start, NoticeHandler onNotice,
                                 std::chrono::milliseconds lockedWait)
  : m_path(std::move(archivePath)), m_start(std::move(start)), m_started(StampNow()),
    m_onNotice(std::move(onNotice)), m_lockedWait(lockedWait), m_finishedAt(m_start.Erase ? Now() : 0),
    m_thread([this] {
      Run();
      m_done = true;
    })
{
}

ArchiveRecorder::~ArchiveRecorder()
{
  Quit();
  Wait();
}

void ArchiveRecorder::Quit()
{
  Finish({EndReason::Quit, m_start.Model, std::nullopt, std::nullopt});
}

void ArchiveRecorder::Append(std::string_view bytes)
{
  if (m_refusing.load(std::memory_order_relaxed))
    return;
  const std::lock_guard lock(m_mutex);
  // The writer thread draws the exact bound; this only keeps a stream that
  // can be no card from filling memory before it does.
  if (m_finished || m_appended > static_cast<std::size_t>(kMaxStreamBytes))
    return;
  m_pending.append(bytes);
  m_appended += bytes.size();
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
    if (m_finishedAt.load() == 0)
      m_finishedAt = Now();
  }
  m_wake.notify_one();
}

void ArchiveRecorder::Wait()
{
  if (m_thread.joinable())
    m_thread.join();
}

bool ArchiveRecorder::GivingUp() const
{
  const auto at = m_finishedAt.load();
  return at != 0 && std::chrono::steady_clock::duration(Now() - at) >= m_lockedWait;
}

void ArchiveRecorder::Tell(const ArchiveNotice& notice)
{
  // A failure is said once per download, the end of the waiting only when
  // nothing was said before; a file moved aside each time it happens.
  if (notice.What == ArchiveNotice::CannotWrite || notice.What == ArchiveNotice::NotArchived) {
    if (m_toldFailure)
      return;
    m_toldFailure = true;
  }
  if (m_onNotice)
    m_onNotice(notice);
}

void ArchiveRecorder::Run()
{
  Entry e;
  bool first = true;
  // Two buffers change places at each batch, so that Append, in the receive
  // handler, finds room already made and copies without allocating.
  std::string batch;
  for (;;) {
    bool finishing = m_start.Erase;
    DownloadEnd end;
    batch.clear();
    {
      std::unique_lock guard(m_mutex);
      // The entry is made at once, so that a download listed while it runs
      // is seen as running.
      if (!first)
        m_wake.wait_for(guard, kBatchInterval, [this] { return m_finished; });
      batch.swap(m_pending);
      finishing = finishing || m_finished;
      end = m_end;
    }
    first = false;

    e.Kept.append(batch, 0, m_bound.Take(batch));
    if (m_bound.Exceeded() && !m_toldNoCard) {
      m_toldNoCard = true;
      m_refusing = true;
      Tell({ArchiveNotice::NotACard, m_path, {},
            m_bound.Why() == CardBound::Beyond::LongLine
              ? "a line of more than " + std::to_string(kMaxLineLength) + " characters"
              : "more than " + std::to_string(kMaxStreamBytes) + " bytes"});
    }

    if (Step(e, finishing, end)) {
      m_archived = !e.Gone;
      return;
    }
    if (!finishing)
      continue;
    if (e.LastBusy && !GivingUp()) {
      // Another program's lock: the end waits for it, off the user's path.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    // Given up: the entry, if there is one, says it holds less than came.
    const bool missing = e.Id == 0 || e.Written < e.Kept.size();
    if (e.Id != 0 && !m_start.Erase) {
      DownloadEnd last = end;
      last.Reason = e.Written < e.Kept.size() ? EndReason::Incomplete
                    : m_bound.Exceeded()      ? EndReason::NotACard
                                              : end.Reason;
      bool ended = false;
      try {
        if (e.Store) {
          e.Store->End(e.Id, last, StampNow());
          ended = true;
        }
      } catch (const std::exception&) {
      }
      // The archive cannot take even that: the lock file keeps it, and the
      // entry reads so, until a later program writes it in.
      if (!ended && e.Lock)
        e.Lock->Leave(last.Reason);
    }
    if (missing)
      Tell({ArchiveNotice::NotArchived, m_path, {}, e.LastError});
    return;
  }
}

bool ArchiveRecorder::Step(Entry& e, bool finishing, const DownloadEnd& end)
{
  // Twice at most: a damaged file is set aside and the entry begun again at
  // once in a new archive, with every byte kept so far.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      if (e.Store && !e.Store->StillAtPath())
        e.Store.reset(); // another program set it aside as damaged
      if (!e.Store) {
        std::vector<ArchiveNotice> notices;
        try {
          e.Store = Archive::OpenForWriting(m_path, notices, [this] { return GivingUp(); });
        } catch (const ArchiveError&) {
          for (const ArchiveNotice& n : notices)
            Tell(n);
          throw;
        }
        for (const ArchiveNotice& n : notices)
          Tell(n);
        if (e.Store->File() != e.File) {
          e.File = e.Store->File();
          e.Id = 0;
        }
      }
      if (!m_start.Erase && !e.Lock)
        e.Lock = std::make_unique<LiveLock>(m_path);
      if (e.Id == 0) {
        e.Store->MarkInterrupted();
        e.Id = e.Store->Begin(m_start, m_started, e.Lock ? e.Lock->Name() : std::string());
        m_id = e.Id;
        e.Written = 0;
        e.WrittenLines = {};
      }
      if (m_start.Erase)
        return true;
      if (e.Written < e.Kept.size()) {
        const std::string_view more = std::string_view(e.Kept).substr(e.Written);
        LineCounter after = e.WrittenLines;
        after.Add(more);
        if (!e.Store->Add(e.Id, more, static_cast<std::int64_t>(e.Kept.size()), after.Lines(), StampNow())) {
          e.Gone = true;
          return true;
        }
        e.Written = e.Kept.size();
        e.WrittenLines = after;
      }
      e.LastBusy = false;
      if (!finishing)
        return false;
      DownloadEnd last = end;
      if (m_bound.Exceeded())
        last.Reason = EndReason::NotACard;
      e.Store->End(e.Id, last, StampNow());
      return true;
    } catch (const ArchiveError& x) {
      e.LastError = x.what();
      e.LastBusy = x.Why() == ArchiveError::Busy;
      if (x.Why() == ArchiveError::Damaged) {
        e.Store.reset(); // closed before its file is moved
        if (auto to = Archive::SetAside(m_path, x))
          Tell({ArchiveNotice::MovedAside, m_path, *to, x.what()});
        continue;
      }
      if (!e.LastBusy) {
        Tell({ArchiveNotice::CannotWrite, m_path, {}, x.what()});
        // A file that could only be read is opened again at the next batch:
        // it may be writable by then.
        if (e.Store && e.Store->ReadOnly())
          e.Store.reset();
      }
      return false;
    } catch (const std::exception& x) {
      e.LastError = x.what();
      e.LastBusy = false;
      Tell({ArchiveNotice::CannotWrite, m_path, {}, x.what()});
      e.Store.reset();
      return false;
    }
  }
  return false;
}

} // namespace dz
