#pragma once

// Helpers shared by the output tests: answering modal windows from a timer,
// filling grids, reading PDF files back with poppler's tools.

#include "cellgrid.h"
#include "gridsource.h"

#include <QApplication>
#include <QByteArray>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace dztest {

// Waits (from the event loop of whatever modal window is running) for a modal
// window of type T and runs `action` on it once. Fired() tells whether it came.
template <class T>
class OnModal {
public:
  explicit OnModal(std::function<void(T*)> action) : m_timer(std::make_unique<QTimer>())
  {
    m_timer->setInterval(10);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this, action = std::move(action)] {
      T* w = qobject_cast<T*>(QApplication::activeModalWidget());
      if (w == nullptr || !w->isVisible())
        return;
      m_timer->stop();
      m_fired = true;
      action(w);
    });
    m_timer->start();
  }
  bool Fired() const { return m_fired; }

private:
  std::unique_ptr<QTimer> m_timer;
  bool m_fired = false;
};

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

// The error box would block a test: tests call handlers directly and check
// the exception instead, so no box should ever be up at the end of a case.
inline bool AnyModalLeft() { return QApplication::activeModalWidget() != nullptr; }

} // namespace dztest
