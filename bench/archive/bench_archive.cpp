// The archive of downloads in the offscreen program: listing 10 000 archived
// downloads (the archive alone, and "Descargas anteriores" filling its list),
// reopening a full seven-channel card into the grid, beside converting the
// same bytes already in the buffer, and that card dated: its daily summary,
// and selecting it in "Descargas anteriores" (its chart and daily table).
// Prints medians and their ratios to the targets; asserts nothing.

#include "archive.h"
#include "archivewindow.h"
#include "card.h"
#include "daysummary.h"
#include "streamconvert.h"
#include "dedizivi.h"
#include "errorbox.h"
#include "forms.h"
#include "recorder.h"
#include "sqlite.h"
#include "startup.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double MedianMs(int runs, const std::function<void()>& work)
{
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer timer;
    timer.start();
    work();
    times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// 10 000 ended downloads of every model over ten years, each with 2 KB of
// bytes, written in one transaction as the recorder's rows look.
void Populate(const std::string& path, int count)
{
  std::vector<dz::ArchiveNotice> notices;
  dz::Archive::OpenForWriting(path, notices); // the schema
  dz::SqliteDb db(path, SQLITE_OPEN_READWRITE);
  dz::SqliteTransaction t(db);
  dz::SqliteStatement row(db.Handle(),
                          "INSERT INTO downloads (kind, source, started, started_ms, updated, ended, end_reason, port,"
                          " baud, data_bits, stop_bits, parity, flow_control, model, model_text, trigger_sent, bytes,"
                          " lines) VALUES ('download', ?, ?, ?, ?, ?, 'closed', '/dev/ttyUSB0', 1200, 8, '1', 'none',"
                          " 'none', ?, 'modelo', '1', 12288, 4096)");
  dz::SqliteStatement chunk(db.Handle(), "INSERT INTO chunks (download, data) VALUES (?, ?)");
  const std::string bytes(2048, '5');
  const std::int64_t first = 1400000000000; // 2014
  for (int i = 0; i < count; ++i) {
    const dz::Stamp when = dz::StampAt(first + std::int64_t(i) * 31536000000 / 1000);
    row.Bind(1, i % 3 ? "window" : "cli").Bind(2, when.Iso).Bind(3, when.Ms).Bind(4, when.Iso).Bind(5, when.Iso);
    row.Bind(6, i % 9).Run();
    chunk.Bind(1, db.LastInsertId()).BindBlob(2, bytes).Run();
  }
  t.Commit();
}

// The window asks the archive off its thread: until the answer is shown.
void Settle(const dz::ArchiveWindow* window)
{
  while (window->Busy())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Opening brings the main window forward, which offscreen says it cannot.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (!text.startsWith(QLatin1String("This plugin does not support")))
      std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "", qPrintable(text));
  });
  QTemporaryDir data;
  qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  dz::Application app(argc, argv);
  dz::CreateProgramWindows();
  dz::ShowMainWindow();
  QCoreApplication::processEvents();

  const std::string path = dz::Archive::DefaultPath();
  Populate(path, 10000);
  // The newest: a full seven-channel LM335 card, recorded as a download is.
  const std::string card = vexa::GenerateCard(3, 7, vexa::Eol::CrLf);
  {
    dz::DownloadStart start;
    start.Port = "/dev/ttyUSB0";
    start.Model = 3;
    dz::ArchiveRecorder recorder(path, start, {});
    recorder.Append(card);
    recorder.Finish({dz::EndReason::Closed, 3, std::nullopt, std::nullopt});
  }

  std::size_t listed = 0;
  const double list = MedianMs(11, [&] { listed = dz::Archive::OpenExisting(path)->List().size(); });
  Form1->Descargasanteriores1->trigger();
  auto* window = static_cast<dz::ArchiveWindow*>(Form1->findChild<QDialog*>(QStringLiteral("DescargasAnteriores")));
  QCoreApplication::processEvents();
  Settle(window);
  const double refresh = MedianMs(11, [&] {
    window->Refresh();
    Settle(window);
    window->List()->viewport()->repaint();
  });
  std::printf("listing %zu archived downloads, median of 11:\n", listed);
  std::printf("  the archive's list        %7.2f ms  ratio to the 100 ms target %5.3f\n", list, list / 100);
  std::printf("  \"Descargas anteriores\"    %7.2f ms  ratio to the 100 ms target %5.3f\n", refresh, refresh / 100);

  window->Refresh(); // the card, newest, selected
  Settle(window);
  const double reopen = MedianMs(15, [&] {
    window->OpenClick();
    Settle(window);
    Form1->StringGrid1->viewport()->repaint();
  });
  const bool whole = Form1->RichEdit1.Text() == card && Form1->ComboBox1->currentIndex() == 3;
  const double convert = MedianMs(15, [&] {
    Form1->ConvertSelection();
    Form1->StringGrid1->viewport()->repaint();
  });
  std::printf("reopening a full seven-channel card (%zu bytes) into the grid, median of 15:\n", card.size());
  std::printf("  from the archive          %7.2f ms  ratio to the 50 ms target %5.3f%s\n", reopen, reopen / 50,
              whole ? "" : "  WRONG BYTES OR MODEL");
  std::printf("  converting the buffer     %7.2f ms  (reopening / converting %4.2f)\n", convert, reopen / convert);

  // The card dated: a sample every 30 minutes from well before it was downloaded.
  std::int64_t cardId = 0;
  {
    const auto archive = dz::Archive::OpenExisting(path);
    cardId = archive->List().front().Id;
    archive->SetTiming(cardId, "2024-03-01T08:00:00+01:00", 1800);
  }
  const auto timing = dz::TimingOf("2024-03-01T08:00:00+01:00", 1800);
  const dz::ModelInfo& model = *dz::FindModel(3);
  std::size_t days = 0;
  std::string json;
  const double summary = MedianMs(21, [&] {
    const std::string raw = dz::Archive::OpenExisting(path)->Raw(cardId);
    const dz::Converted c = dz::ConvertStream(3, {}, "0", raw);
    const int recorded = dz::RecordedSamples(model, c.Rows, *timing, dz::StampNow().Ms);
    const auto list = dz::SummariseDays(model, c.Grid, recorded, *timing);
    json = dz::SummaryJson(list);
    days = list.size();
  });
  const dz::Converted converted = dz::ConvertStream(3, {}, "0", card);
  const double summariseOnly = MedianMs(21, [&] {
    days = dz::SummariseDays(model, converted.Grid, 1170, *timing).size();
  });
  std::printf("the daily summary of a full seven-channel card (%zu days), median of 21:\n", days);
  std::printf("  archive, conversion, days  %7.2f ms  ratio to the 20 ms target %5.3f\n", summary, summary / 20);
  std::printf("  the days alone            %7.2f ms  (share %4.2f)\n", summariseOnly, summariseOnly / summary);

  window->Refresh(); // knows the timing now
  Settle(window);
  int shown = 0;
  std::vector<double> times;
  for (int i = 0; i < 15; ++i) {
    window->List()->selectRow(1); // another entry first, not counted
    Settle(window);
    QElapsedTimer timer;
    timer.start();
    // Read off the user-interface thread, then drawn.
    window->List()->selectRow(0);
    Settle(window);
    window->Preview()->repaint();
    times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    shown = window->Preview()->Shown();
  }
  std::sort(times.begin(), times.end());
  const double preview = times[times.size() / 2];
  std::printf("selecting that card in \"Descargas anteriores\" (chart and daily table), median of 15:\n");
  std::printf("  preview                   %7.2f ms  ratio to the 50 ms target %5.3f%s\n", preview, preview / 50,
              shown == 1170 ? "" : "  WRONG SAMPLE COUNT");
  dz::DestroyProgramWindows();
  return whole && shown == 1170 ? 0 : 1;
}
