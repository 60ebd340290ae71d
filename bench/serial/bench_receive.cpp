// Receive throughput through a pseudo-terminal: the port component's full event
// path (event thread, hand-over to the main thread, OnRxChar reading as the main
// window does, the raw line buffer) against a plain poll/read loop on the same
// kind of pseudo-terminal; then the same path at 1 MB/s with and without the
// archive of downloads recording every byte. Prints rates and their ratios;
// asserts nothing.

#include "archive.h"
#include "comport.h"
#include "linebuffer.h"
#include "recorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <vector>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

std::string MakeStream(std::size_t bytes)
{
  std::string s;
  s.reserve(bytes + 16);
  unsigned n = 0;
  while (s.size() < bytes)
    s += std::to_string(n++ % 1024) + "\r\n";
  s.resize(bytes);
  return s;
}

struct Pty {
  int master = -1;
  std::string slavePath;
  Pty()
  {
    int slave = -1;
    char name[128] = {};
    termios raw {};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    slavePath = name;
    // Keep the slave open so the master never sees a hang-up between opens.
    (void)slave;
  }
};

// Writes the stream into the master at a given rate (bytes per second; 0: as fast as possible).
void Feed(int master, const std::string& data, double rate)
{
  const auto start = std::chrono::steady_clock::now();
  std::size_t sent = 0;
  const std::size_t chunk = 512;
  while (sent < data.size()) {
    if (rate > 0) {
      const auto due = start + std::chrono::duration<double>(static_cast<double>(sent) / rate);
      std::this_thread::sleep_until(due);
    }
    const ssize_t n = ::write(master, data.data() + sent, std::min(chunk, data.size() - sent));
    if (n > 0)
      sent += static_cast<std::size_t>(n);
    else {
      pollfd p {master, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

struct Result {
  double seconds = 0;
  std::size_t received = 0;
  double handlerSeconds = 0; // CPU time of the receive path on the user-interface thread
  long events = 0;           // receive events the handler ran for
  double archiveShare = 0;   // of that, handing bytes to the archive
};

// The calling thread's CPU time: what the handler costs, without the time the
// machine's other work takes the processor away.
double ThreadCpuSeconds()
{
  timespec t {};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

Result PlainLoop(const std::string& data, double rate)
{
  Pty pty;
  const int fd = ::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios raw {};
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  tcsetattr(fd, TCSANOW, &raw);
  std::string got;
  got.reserve(data.size());
  QElapsedTimer timer;
  timer.start();
  std::thread feeder(Feed, pty.master, std::cref(data), rate);
  char buf[4096];
  while (got.size() < data.size()) {
    pollfd p {fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0)
      break;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0)
      got.append(buf, static_cast<std::size_t>(n));
  }
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  feeder.join();
  ::close(fd);
  return {seconds, got == data ? got.size() : 0};
}

Result EventPath(const std::string& data, double rate, dz::ArchiveRecorder* recorder = nullptr)
{
  Pty pty;
  TComPort port;
  port.SetPort(pty.slavePath);
  port.SetBaudRate(br1200);
  port.SetDiscardNull(true);
  port.Buffer().SetInputSize(4096);
  dz::LineBuffer buffer;
  long steps = 0;
  long events = 0;
  std::int64_t handOverNs = 0;
  port.OnRxChar = [&](TCustomComPort*, int count) {
    // As the main window: one read of what the event reported, one bar step per character.
    std::string text;
    port.ReadText(text, count);
    buffer.Append(text);
    if (recorder) {
      // A cheap clock, so that timing the hand-over costs next to nothing.
      const auto before = std::chrono::steady_clock::now();
      recorder->Append(text);
      handOverNs += (std::chrono::steady_clock::now() - before).count();
    }
    steps += count;
    ++events;
  };
  port.OpenPort();
  QElapsedTimer timer;
  timer.start();
  // The receive path on the user-interface thread: the events' delivery and
  // the handler, without the time the machine's other work takes the
  // processor away.
  const double cpuAtStart = ThreadCpuSeconds();
  std::thread feeder(Feed, pty.master, std::cref(data), rate);
  QElapsedTimer idle;
  idle.start();
  std::size_t last = 0;
  // Waits for events, as the window's loop does (a time limit given to
  // processEvents would turn the wait into a spin); the tick ends a stalled run.
  QTimer tick;
  tick.start(50);
  while (buffer.Text().size() < data.size() && idle.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (buffer.Text().size() != last) {
      last = buffer.Text().size();
      idle.restart();
    }
  }
  const double pathSeconds = ThreadCpuSeconds() - cpuAtStart;
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  feeder.join();
  port.ClosePort();
  return {seconds, buffer.Text() == data ? buffer.Text().size() : 0, pathSeconds, events,
          pathSeconds > 0 ? double(handOverNs) / 1e9 / pathSeconds : 0};
}

double Median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The 1 MB/s stream received with and without the archive, runs alternating
// so that both see the same machine; medians of the receive path's CPU time,
// and the share of it that handing the bytes to the archive takes. The
// stream is as large as a card can be, so that the archive keeps every byte.
constexpr int kArchiveRuns = 21;
bool CompareArchive(const std::string& data)
{
  QTemporaryDir dir;
  const std::string path = dir.filePath("archive.sqlite").toStdString();
  std::vector<double> plainHandler, archHandler, plainEvents, archEvents, archShare;
  bool whole = true;
  for (int run = 0; run < kArchiveRuns; ++run) {
    const Result plain = EventPath(data, 1e6);
    whole = whole && plain.received == data.size();
    plainHandler.push_back(plain.handlerSeconds);
    plainEvents.push_back(double(plain.events));

    dz::ArchiveRecorder recorder(path, {}, [&](const dz::ArchiveNotice& n) {
      std::printf("  archive notice: %s\n", n.Detail.c_str());
      whole = false;
    });
    const Result archived = EventPath(data, 1e6, &recorder);
    recorder.Finish({dz::EndReason::Closed, -1, std::nullopt, std::nullopt});
    recorder.Wait();
    const auto archive = dz::Archive::OpenExisting(path);
    whole = whole && archived.received == data.size() && archive && archive->Raw(recorder.Id()) == data;
    archHandler.push_back(archived.handlerSeconds);
    archEvents.push_back(double(archived.events));
    archShare.push_back(archived.archiveShare);
  }
  const double h0 = Median(plainHandler), h1 = Median(archHandler);
  std::printf("receive at 1 MB/s (%zu bytes), with and without the archive, median of %d runs each:\n", data.size(),
              kArchiveRuns);
  std::printf("  receive path CPU     %8.1f ms without  %8.1f ms with   ratio %5.3f (target at most 1.05)\n",
              h0 * 1e3, h1 * 1e3, h1 / h0);
  // The handler's cost follows the number of events: the same bytes in fewer,
  // larger batches cost less, whatever else the machine does meanwhile.
  std::printf("  receive events       %8.0f without  %8.0f with\n", Median(plainEvents), Median(archEvents));
  std::printf("  handing the bytes to the archive: %.2f %% of the receive path, in the same runs\n",
              Median(archShare) * 100);
  std::printf("  %s\n", whole ? "no byte lost, in the buffer or in the archive" : "BYTES LOST");
  return whole;
}

} // namespace

int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  const std::string data = MakeStream(8 * 1024 * 1024);
  const Result plain = PlainLoop(data, 0);
  const Result event = EventPath(data, 0);
  std::printf("receive, as fast as possible (%zu bytes):\n", data.size());
  std::printf("  plain read loop     %8.1f MB/s  %s\n", data.size() / plain.seconds / 1e6,
              plain.received == data.size() ? "all bytes" : "BYTES LOST");
  std::printf("  port event path     %8.1f MB/s  %s\n", data.size() / event.seconds / 1e6,
              event.received == data.size() ? "all bytes" : "BYTES LOST");
  std::printf("  ratio event/plain   %8.2f\n", plain.seconds / event.seconds);

  const std::string paced = MakeStream(3 * 1000 * 1000);
  const Result at1MB = EventPath(paced, 1e6);
  std::printf("receive at 1 MB/s (%zu bytes): %s in %.2f s\n", paced.size(),
              at1MB.received == paced.size() ? "no byte lost" : "BYTES LOST", at1MB.seconds);
  const bool archived = CompareArchive(MakeStream(1000 * 1000));
  return (event.received == data.size() && at1MB.received == paced.size() && archived) ? 0 : 1;
}
