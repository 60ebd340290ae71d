#pragma once

// Shared by the hardening tests and the soak bench: what the process holds
// (descriptors, threads, resident memory).

#include <QDir>
#include <QFile>
#include <QString>

#include <string>

namespace dzhard {

inline int OpenFdCount() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size()); }
inline int ThreadCount() { return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::NoDotAndDotDot | QDir::Dirs).size()); }

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

} // namespace dzhard
