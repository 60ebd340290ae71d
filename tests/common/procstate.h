#pragma once

// What the test process holds (descriptors, threads, resident memory), read
// from /proc: the leak checks of the serial and hardening tests and the soak
// bench.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace dztest {

inline QStringList OpenFds()
{
  return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
}

inline int OpenFdCount() { return int(OpenFds().size()); }

// Descriptors of this process open on the file at `path` (links followed).
inline int DescriptorsOn(const QString& path)
{
  const QString target = QFileInfo(path).canonicalFilePath();
  int n = 0;
  for (const QString& fd : OpenFds())
    if (QFileInfo(QStringLiteral("/proc/self/fd/") + fd).symLinkTarget() == target)
      ++n;
  return n;
}

// The threads of this process that carry the given name (the system's name of
// a thread, as ps shows it). Counting by name leaves out what the toolkit may
// start on its own.
inline int ThreadCount(const QByteArray& name)
{
  int n = 0;
  for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::NoDotAndDotDot | QDir::Dirs)) {
    QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name)
      ++n;
  }
  return n;
}

// All threads of this process.
inline int ThreadCount()
{
  return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::NoDotAndDotDot | QDir::Dirs).size());
}

// VmRSS of /proc/self/status, in KiB; -1 when it cannot be read.
inline long ResidentKiB()
{
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:"))
      return line.mid(6).trimmed().split(' ').value(0).toLong();
  return -1;
}

// The name the serial port's event thread carries.
inline const QByteArray kPortThread = QByteArrayLiteral("TComThread");

} // namespace dztest
