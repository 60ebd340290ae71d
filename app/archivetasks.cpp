#include "archivetasks.h"

namespace dz {

ArchiveTasks::ArchiveTasks(QObject* parent) : QObject(parent), m_giveUp([this] { return m_stopping.load(); }) {}

ArchiveTasks::~ArchiveTasks()
{
  {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_jobs.clear();
  }
  m_wake.notify_one();
  if (m_thread.joinable())
    m_thread.join();
}

void ArchiveTasks::Post(std::function<void()> job)
{
  {
    const std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
    if (!m_thread.joinable())
      m_thread = std::thread([this] { Work(); });
  }
  m_wake.notify_one();
}

void ArchiveTasks::Answered(bool forUser)
{
  --m_unanswered;
  if (forUser)
    --m_acting;
  if (OnAnswer)
    OnAnswer();
}

void ArchiveTasks::Work()
{
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(m_mutex);
      m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
      if (m_stopping)
        return;
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    job();
  }
}

} // namespace dz
