#pragma once

// Helpers shared by the output tests: answering modal windows from a timer,
// filling grids, reading PDF files back with poppler's tools.

#include "cellgrid.h"
#include "gridsource.h"
#include "testsupport.h"

#include <QApplication>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace dztest {

// A grid source as the main window gives it.
class TestSource : public dz::GridSource {
public:
  int ModelIndex() const override { return Model; }
  const dz::CellGrid& Grid() const override { return Cells; }
  int Model = -1;
  dz::CellGrid Cells;
};

// Fills columns 1..cols of rows 1..rows with distinct numbers in the ","
// format: column c, row r holds "<c><r>,<r % 10>" (with a minus sign on
// odd columns so that signs travel too).
inline void FillGrid(dz::CellGrid& grid, int cols, int rows)
{
  for (int c = 1; c <= cols; ++c)
    for (int r = 1; r <= rows; ++r)
      grid.SetCell(c, r, (c % 2 ? "-" : "") + std::to_string(c) + std::to_string(r) + "," + std::to_string(r % 10));
}

inline QByteArray Run(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
  QProcess p;
  p.start(program, args);
  p.waitForFinished(60000);
  if (exitCode != nullptr)
    *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return p.readAllStandardOutput();
}

// Text of a PDF, one string per page (form feeds split the pages).
inline QStringList PdfPages(const QString& pdf)
{
  const QString text = QString::fromUtf8(Run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}));
  QStringList pages = text.split(QLatin1Char('\f'));
  if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
    pages.removeLast();
  return pages;
}

// Lines of a page with the trailing blanks pdftotext adds removed; empty
// lines dropped (pdftotext spaces lines by their position, not one per line).
inline QStringList TextLines(const QString& page)
{
  QStringList out;
  for (const QString& line : page.split(QLatin1Char('\n'))) {
    const QString t = line.trimmed();
    if (!t.isEmpty())
      out << t;
  }
  return out;
}

// A field of `pdfinfo` ("Pages", "Page size", ...).
inline QString PdfInfo(const QString& pdf, const QString& field)
{
  const QString text = QString::fromUtf8(Run(QStringLiteral("pdfinfo"), {pdf}));
  for (const QString& line : text.split(QLatin1Char('\n')))
    if (line.startsWith(field + QLatin1Char(':')))
      return line.mid(field.size() + 1).trimmed();
  return {};
}

// The PDF files the cups-pdf queue has written so far (its output folder is
// the printing user's ~/PDF, and root's when the daemon maps jobs to root).
inline QStringList CupsPdfs()
{
  QStringList all;
  for (const QString& d : {QDir::homePath() + QStringLiteral("/PDF"), QStringLiteral("/root/PDF")})
    for (const QFileInfo& f : QDir(d).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files))
      all << f.absoluteFilePath();
  return all;
}

// Waits for the job to land: a PDF not in `before` whose page count is
// `pages`. Half a second is usual, but a loaded machine has needed more than
// thirty: the bound is only there to end a test whose job never comes. Empty
// when none came; the queue's state is printed then.
inline QString AwaitCupsJob(const QStringList& before, int pages)
{
  QDeadlineTimer patience(240000);
  do {
    for (const QString& f : CupsPdfs())
      if (!before.contains(f) && PdfInfo(f, QStringLiteral("Pages")).toInt() == pages)
        return f;
    QTest::qWait(100);
  } while (!patience.hasExpired());
  qWarning("no job landed; the queue says:\n%s", Run(QStringLiteral("lpstat"), {"-l", "-o", "-p"}).constData());
  return {};
}

// The error box would block a test: tests call handlers directly and check
// the exception instead, so no box should ever be up at the end of a case.
inline void WriteFile(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

inline QByteArray ReadFile(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool AnyModalLeft() { return QApplication::activeModalWidget() != nullptr; }

} // namespace dztest
