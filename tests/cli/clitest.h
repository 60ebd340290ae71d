#pragma once

// Running dedizivi-cli and the logger simulator from a test.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <string>

namespace clitest {

struct Result {
  int status = -1;
  QByteArray out;
  QByteArray err;
};

// Where the command runs and what it reads on standard input (no terminal by
// default: the erase command must not wait for an answer).
struct RunIn {
  QString Folder;
  QString Input = QProcess::nullDevice();
};

inline void StartCli(QProcess& p, const QStringList& args, const RunIn& in = {})
{
  p.setProgram(QStringLiteral(DZ_CLI_PATH));
  p.setArguments(args);
  p.setStandardInputFile(in.Input);
  if (!in.Folder.isEmpty())
    p.setWorkingDirectory(in.Folder);
  p.start();
}

inline Result Finish(QProcess& p)
{
  Result r;
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished();
    r.err = "dedizivi-cli did not finish";
    return r;
  }
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

// Starts 'download' of `model` on the device side of a pseudo-terminal, the
// test playing the logger; returns the trigger it sent (empty when none came).
template <class Pty>
QByteArray StartDownloadOn(QProcess& cli, Pty& pty, const QString& model, const QString& idle = QStringLiteral("60"))
{
  StartCli(cli, {"download", "--port", QString::fromStdString(pty.Path()), "--model", model, "--wait", "60", "--idle",
                 idle, "-q"});
  QByteArray trigger;
  (void)QTest::qWaitFor([&] { return !(trigger += pty.Received()).isEmpty(); }, 20000);
  return trigger;
}

inline Result RunCli(const QStringList& args, const RunIn& in = {})
{
  QProcess p;
  StartCli(p, args, in);
  return Finish(p);
}

// The archive's newest entry, as 'archive list --json' gives it.
inline QJsonObject NewestArchived()
{
  const QJsonArray list = QJsonDocument::fromJson(RunCli({"archive", "list", "--json"}).out).array();
  return list.isEmpty() ? QJsonObject() : list[0].toObject();
}

inline QByteArray ReadFile(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

// Lines of a CR LF file, without their line ends.
inline QList<QByteArray> CrLfLines(const QByteArray& text)
{
  QList<QByteArray> lines = text.split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty())
    lines.removeLast();
  for (QByteArray& l : lines)
    if (l.endsWith('\r'))
      l.chop(1);
  return lines;
}

// Line breaks in a raw stream (CR, LF or CR LF each count once).
inline int LineBreaks(const QByteArray& raw)
{
  int n = 0;
  for (qsizetype i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\n' || (raw[i] == '\r' && (i + 1 >= raw.size() || raw[i + 1] != '\n')))
      ++n;
  }
  return n;
}

} // namespace clitest
