#pragma once

// Shared by the hardening tests and the soak bench: what the process holds
// (descriptors, threads, resident memory) and cards spelled as a logger does.

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

// A four-line value word as the logger sends it.
inline std::string Word(int w)
{
  const int rest = w % 256;
  return std::to_string(w / 256) + "\r\n" + std::to_string(rest / 100) + "\r\n" + std::to_string(rest / 10 % 10) +
         "\r\n" + std::to_string(rest % 10) + "\r\n";
}

// A full one-channel card (1024 words, 4096 lines) with word n = f(n).
template <typename F>
std::string OneChannelCard(F f)
{
  std::string card;
  for (int n = 1; n <= 1024; ++n)
    card += Word(f(n));
  return card;
}

// The cell text of an LM35 word, (W - 240) / 10 with one decimal, worked out
// on whole tenths.
inline QString Lm35Text(int w)
{
  const int tenths = w - 240;
  const QString sign = tenths < 0 ? QStringLiteral("-") : QString();
  return QStringLiteral("%1%2,%3").arg(sign).arg(std::abs(tenths) / 10).arg(std::abs(tenths) % 10);
}

} // namespace dzhard
