#pragma once

// The archive window's work on the archive, off the user-interface thread:
// another program may hold the archive locked, or a slow disk answer late,
// and the window must go on answering meanwhile. One job at a time, in the
// order given; each result comes back through the event loop of the thread
// that asked.

#include "archive.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace dz {

class ArchiveTasks : public QObject {
public:
  explicit ArchiveTasks(QObject* parent = nullptr);
  // A job still waiting for a lock gives up; the one under way is waited for.
  ~ArchiveTasks() override;

  // Runs `work` on the worker thread, then `done` here with what it
  // returned. An error that `work` throws is thrown here instead, so that it
  // reaches the program's error box as any handler's does.
  // A job `forUser` is one the user asked for (open, export, delete):
  // while one is out, the window takes no other. A job that is not (drawing
  // the selected download) holds nothing up; it still runs in its turn.
  template <class T>
  void Run(std::function<T(const Archive::GiveUp&)> work, std::function<void(T)> done, bool forUser = true);

  // Whether a job has not come back yet.
  bool Busy() const { return m_unanswered > 0; }
  // Whether a job the user asked for has not come back yet.
  bool Acting() const { return m_acting > 0; }
  // Called here each time a job comes back, before its `done`.
  std::function<void()> OnAnswer;

private:
  void Post(std::function<void()> job);
  void Answered(bool forUser);
  void Work();

  int m_unanswered = 0;
  int m_acting = 0;
  std::atomic<bool> m_stopping{false};
  Archive::GiveUp m_giveUp;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_jobs;
  std::thread m_thread;
};

template <class T>
void ArchiveTasks::Run(std::function<T(const Archive::GiveUp&)> work, std::function<void(T)> done, bool forUser)
{
  ++m_unanswered;
  if (forUser)
    ++m_acting;
  struct Outcome {
    std::optional<T> Result;
    std::exception_ptr Error;
  };
  Post([this, work = std::move(work), done = std::move(done), forUser] {
    auto outcome = std::make_shared<Outcome>();
    try {
      outcome->Result.emplace(work(m_giveUp));
    } catch (...) {
      outcome->Error = std::current_exception();
    }
    QMetaObject::invokeMethod(
      this,
      [this, outcome, done, forUser] {
        Answered(forUser);
        if (outcome->Error)
          std::rethrow_exception(outcome->Error);
        done(std::move(*outcome->Result));
      },
      Qt::QueuedConnection);
  });
}

} // namespace dz
