// Long use, measured: memory (VmRSS), file descriptors and threads of this
// process at the start, middle and end of
//  1. 1000 open / trigger / receive / close cycles of a bare port against
//     the logger simulator, with data flowing in every cycle;
//  2. 100 full downloads back to back in the offscreen main window, whose
//     grid must come out identical every time.
// Usage: bench_soak [cycles] [downloads]. Prints figures; exits 1 when data
// stopped flowing or a download differed.

#include "dedizivi.h"
#include "errorbox.h"
#include "forms.h"
#include "procstate.h"
#include "startup.h"
#include "testsupport.h"

#include "comport.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>

namespace {

struct Sample {
  long rssKiB;
  int fds;
  int threads;
};

Sample Take() { return {dztest::ResidentKiB(), dztest::OpenFdCount(), dztest::ThreadCount()}; }

void Print(const char* what, const Sample& start, const Sample& middle, const Sample& end)
{
  std::printf("%s\n", what);
  std::printf("  %-12s %10s %10s %10s %10s\n", "", "start", "middle", "end", "growth");
  std::printf("  %-12s %10ld %10ld %10ld %+10ld\n", "VmRSS KiB", start.rssKiB, middle.rssKiB, end.rssKiB,
              end.rssKiB - start.rssKiB);
  std::printf("  %-12s %10d %10d %10d %+10d\n", "descriptors", start.fds, middle.fds, end.fds, end.fds - start.fds);
  std::printf("  %-12s %10d %10d %10d %+10d\n", "threads", start.threads, middle.threads, end.threads,
              end.threads - start.threads);
  std::fflush(stdout);
}

bool Wait(const std::function<bool()>& done, int ms)
{
  QDeadlineTimer patience(ms);
  while (!done() && !patience.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

bool PortCycles(int cycles)
{
  dztest::Simulator sim;
  const QString device = sim.Start({"--model", "3", "--fast"});
  if (device.isEmpty())
    return false;
  TComPort port;
  port.SetPort(device.toStdString());
  qsizetype received = 0, total = 0;
  port.OnRxChar = [&](TCustomComPort* sender, int count) {
    std::string text;
    sender->ReadText(text, count);
    received += qsizetype(text.size());
  };
  auto cycle = [&] {
    received = 0;
    port.OpenPort();
    port.WriteText("7");
    const bool flowed = Wait([&] { return received >= 4000; }, 30000);
    port.ClosePort();
    total += received;
    return flowed;
  };
  for (int i = 0; i < 5; ++i) // Qt's own threads and caches settle first
    if (!cycle())
      return false;
  const Sample start = Take();
  Sample middle{};
  for (int i = 0; i < cycles; ++i) {
    if (!cycle()) {
      std::printf("no data in cycle %d\n", i);
      return false;
    }
    if (i == cycles / 2)
      middle = Take();
  }
  char title[128];
  std::snprintf(title, sizeof title, "%d port cycles, %lld bytes received", cycles, static_cast<long long>(total));
  Print(title, start, middle, Take());
  return true;
}

bool Downloads(int count)
{
  QTemporaryDir dir;
  dztest::Simulator sim;
  const QString device = sim.Start({"--model", "2", "--fast", "--seed", "9"});
  if (device.isEmpty())
    return false;
  // Any message box (there should be none) is answered and reported.
  dztest::MessageBoxWatcher boxes;
  dz::CreateProgramWindows();
  dz::ShowMainWindow();
  // Start-up ends with the main window active (the chart window's start-up
  // activation has run by then, before any model is chosen).
  if (!QTest::qWaitForWindowActive(Form1))
    return false;
  Form1->ComPort->SetPort(device.toStdString());
  Form1->ComboBox1->setCurrentIndex(2);
  const dz::GridSource& source = *Form1;
  dz::CellGrid first;
  Sample start{}, middle{};
  bool same = true;
  for (int i = 0; i <= count && same; ++i) {
    Form1->BitBtn2Click(); // Limpiar
    Form1->BitBtn3Click(); // Abrir descarga
    if (!Wait([] { return Form1->RichEdit1.LineCount() >= 1171; }, 60000)) {
      std::printf("download %d stalled at %d lines\n", i, Form1->RichEdit1.LineCount());
      return false;
    }
    Form1->BitBtn3Click(); // Cerrar descarga: converts
    if (i == 0) {
      first = source.Grid();
      start = Take(); // the first download fills caches that live on
      continue;
    }
    for (int r = 0; r < dz::CellGrid::kRows && same; ++r)
      for (int c = 0; c < dz::CellGrid::kColumns && same; ++c)
        if (source.Grid().Cell(c, r) != first.Cell(c, r)) {
          std::printf("download %d differs at cell (%d, %d)\n", i, c, r);
          same = false;
        }
    if (i == count / 2)
      middle = Take();
  }
  char title[128];
  std::snprintf(title, sizeof title, "%d seven-channel downloads in the main window, grids %s", count,
                same ? "identical" : "DIFFERENT");
  Print(title, start, middle, Take());
  for (const QString& text : boxes.Texts)
    std::printf("  message box: %s\n", qPrintable(text));
  dz::DestroyProgramWindows();
  return same && boxes.Texts.isEmpty();
}

} // namespace

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  dz::Application app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int downloads = argc > 2 ? std::atoi(argv[2]) : 100;
  bool ok = PortCycles(cycles);
  ok = Downloads(downloads) && ok;
  return ok ? 0 : 1;
}
