// dedizivi-cli download: the window's download cycle for scripts. Opens the
// port, sends the model's trigger, keeps every byte (raw file written through
// as it arrives), ends by itself, then converts like `convert`.

#include "commands.h"
#include "cardbound.h"
#include "fileio.h"
#include "linebuffer.h"
#include "output.h"
#include "portsetup.h"
#include "recording.h"

#include "models.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <functional>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace dz::cli {

namespace {

void PrintDownloadHelp(std::FILE* to)
{
  std::fprintf(to,
    "Usage: dedizivi-cli download --model N [--port DEVICE] [--baud B] [--raw FILE]\n"
    "                             [-o FILE] [--csv FILE [--decimal point|comma]]\n"
    "                             [--start TIME --interval DURATION]\n"
    "                             [--constant K] [--offset O] [--idle S] [--wait S] [-q]\n"
    "                             [--no-archive]\n"
    "\n"
    "Downloads a Vexa-Logger's memory card: opens the port, sends the model's\n"
    "trigger (\"1\", or \"7\" for the seven-channel models) and collects the lines\n"
    "the logger streams once the download button of the Vexa-Downloader is\n"
    "pressed. Ends when a full card has arrived (4096 lines; 1171 for the\n"
    "seven-channel models), when no byte came for the idle time once data has\n"
    "begun, or on Ctrl-C. Then converts as 'dedizivi-cli convert' does. Data that\n"
    "can be no card (a line of over 256 characters, or over 1 MiB in all: noise,\n"
    "a wrong port or rate) ends it with status 1, the raw file keeping what came.\n"
    "\n"
    "  --model N      logger model 0 to 8 (see 'dedizivi-cli convert --help')\n"
    "  --port DEVICE  serial device: a path (/dev/ttyUSB0, ./logger), a name under\n"
    "                 /dev, or one from 'dedizivi-cli ports'; default: the port\n"
    "                 stored by the program\n"
    "  --baud B       line rate; default: the stored rate. Data bits, stop bits,\n"
    "                 parity and flow control are always the stored ones\n"
    "  --raw FILE     keep the bytes received, written to FILE as they arrive and\n"
    "                 flushed to disk at the end; FILE must be new or empty. NUL\n"
    "                 bytes are dropped on the way, as the port settings say\n"
    "  -o FILE        data file as the program saves it (\"-\": standard output,\n"
    "                 the default when neither -o nor --csv is given)\n"
    "  --csv FILE, --decimal, --start, --interval, --constant, --offset\n"
    "                 as for 'dedizivi-cli convert'; --start (time of the first\n"
    "                 sample) and --interval also date the archived download\n"
    "  --idle S       seconds without a byte that end a download under way; default 5\n"
    "  --wait S       seconds to wait for the first byte after the trigger;\n"
    "                 default 60, 0 waits for ever\n"
    "  -q, --quiet    no progress on standard error\n"
    "  --no-archive   leave this download out of the archive of downloads\n"
    "  -h, --help     this text\n"
    "\n"
    "Progress goes to standard error: lines received against a full card, or one\n"
    "line per tenth of the card when standard error is not a terminal.\n"
    "Outputs are never the raw file, the port or each other (status 2, before\n"
    "the port is opened), and replace their files only once all are complete;\n"
    "with no whole sample they are left as they were (see 'dedizivi-cli --help').\n"
    "The raw file is written as data arrives, so a pulled cable or Ctrl-C keeps\n"
    "everything received.\n"
    "Every download is also kept in the archive of downloads as it arrives\n"
    "(see 'dedizivi-cli archive --help').\n"
    "\n"
    "Exit status: 0 full card downloaded and converted; 1 failure (port, stored\n"
    "settings, conversion, writing, data that can be no card); 2 usage error; 3\n"
    "the download ended short (the lines received are kept and the samples that\n"
    "arrived whole are converted and written); 4 no data arrived within --wait;\n"
    "130 interrupted before any data arrived.\n");
}

constexpr OptionSpec kDownloadOptions[] = {
  {"--model", true, {}}, {"--port", true, {}}, {"--baud", true, {}}, {"--raw", true, {}},
  {"--idle", true, {}},  {"--wait", true, {}}, {"--quiet", false, "-q"}, {"--no-archive", false, {}},
};

int Usage(const std::string& message)
{
  std::fprintf(stderr, "dedizivi-cli download: %s\n(try 'dedizivi-cli download --help')\n", message.c_str());
  return kExitUsage;
}

int Fail(const std::string& message)
{
  std::fprintf(stderr, "dedizivi-cli download: %s\n", message.c_str());
  return kExitFailed;
}

// Signals reach the event loop through a pipe: the handler only writes it.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int sig)
{
  const int saved = errno;
  const char byte = static_cast<char>(sig);
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
  // A second Ctrl-C ends the program at once.
  std::signal(sig, SIG_DFL);
  errno = saved;
}

enum class End { Running, FullCard, Idle, Interrupted, HungUp, NoData, NotACard, Failed };

// An error that a port event raises on its way to our handlers (a device
// that failed under a read) must not unwind through Qt: it ends the download
// as a lost device.
class CliApplication final : public QCoreApplication {
public:
  using QCoreApplication::QCoreApplication;
  std::function<void(const std::exception&)> OnEventError;

  bool notify(QObject* receiver, QEvent* event) override
  {
    try {
      return QCoreApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      if (OnEventError)
        OnEventError(e);
      return false;
    }
  }
};

class Download {
public:
  Download(TComPort& port, const ModelInfo& model, RawFile& raw, double idleSeconds, double waitSeconds,
           bool quiet)
    : m_port(port), m_raw(raw), m_fullLines(CardLines(model)), m_quiet(quiet),
      m_tty(::isatty(STDERR_FILENO) == 1)
  {
    m_idle.setSingleShot(true);
    m_idle.setInterval(std::chrono::milliseconds(static_cast<long long>(idleSeconds * 1000)));
    QObject::connect(&m_idle, &QTimer::timeout, [this] { Stop(End::Idle); });
    m_wait.setSingleShot(true);
    if (waitSeconds > 0)
      m_wait.setInterval(std::chrono::milliseconds(static_cast<long long>(waitSeconds * 1000)));
    QObject::connect(&m_wait, &QTimer::timeout, [this] { Stop(End::NoData); });
    m_waitWanted = waitSeconds > 0;

    m_port.OnRxChar = [this](TCustomComPort*, std::int32_t count) { Receive(count); };
    m_port.OnError = [this](TCustomComPort*, TComErrors errors) { LineError(errors); };
  }

  // Runs the event loop until the download ends; the port is closed after.
  End Run(CliApplication& app, int signalFd)
  {
    app.OnEventError = [this](const std::exception& e) {
      std::fprintf(stderr, "dedizivi-cli download: the port failed: %s\n", e.what());
      Stop(End::HungUp);
    };
    QSocketNotifier stopNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [this, signalFd] {
      char sig = 0;
      [[maybe_unused]] const ssize_t n = ::read(signalFd, &sig, 1);
      Stop(End::Interrupted);
    });
    if (m_waitWanted)
      m_wait.start();
    m_app = &app;
    if (m_end == End::Running)
      app.exec();
    m_idle.stop();
    m_wait.stop();
    // Bytes that came with the hang-up or while stopping are kept too.
    if (m_end != End::Failed)
      DrainRemaining();
    m_port.OnRxChar = nullptr;
    m_port.OnError = nullptr;
    app.OnEventError = nullptr;
    try {
      m_port.ClosePort();
    } catch (const EComPort& e) {
      m_failure = "cannot close the port: " + PortErrorText(e);
      m_end = End::Failed;
    }
    if (!m_quiet && m_buffer.LineCount() > 0) {
      if (m_tty)
        std::fputc('\n', stderr);
      else if (m_buffer.LineCount() != m_shown)
        std::fprintf(stderr, "%d / %d lines\n", m_buffer.LineCount(), m_fullLines);
    }
    return m_end;
  }

  // Where every received byte is also kept, when archiving.
  ArchiveRecorder* Recorder = nullptr;

  const LineBuffer& Buffer() const { return m_buffer; }
  const std::string& Failure() const { return m_failure; }
  const std::string& Overflow() const { return m_overflow; }
  std::size_t Bytes() const { return m_buffer.Text().size(); }
  int FullLines() const { return m_fullLines; }

  // Lines that have their line break, so no further byte can change them.
  int FinishedLines() const { return m_buffer.FinishedLineCount(); }

private:
  void Stop(End end)
  {
    if (m_end != End::Running)
      return;
    m_end = end;
    if (m_app)
      QTimer::singleShot(0, m_app, &QCoreApplication::quit);
  }

  void Receive(std::int32_t count)
  {
    if (m_end == End::Failed)
      return;
    std::string text;
    try {
      m_port.ReadText(text, count);
    } catch (const EComPort&) {
      // The device went away between the event and the read.
      Stop(End::HungUp);
      return;
    }
    Keep(text);
  }

  void Keep(std::string_view text)
  {
    if (!m_overflow.empty())
      return; // nothing after that, so the raw file stays bounded
    text = text.substr(0, m_bound.Take(text));
    if (m_bound.Exceeded() && m_overflow.empty())
      m_overflow = m_bound.Why() == CardBound::Beyond::TooManyBytes
                     ? "more than " + std::to_string(kMaxStreamBytes) + " bytes, more than any card holds"
                     : "a line of more than " + std::to_string(kMaxLineLength) +
                         " characters, longer than any line of a card";
    if (text.empty()) {
      StopIfNoCard();
      return;
    }
    if (Recorder)
      Recorder->Append(text);
    if (m_raw.IsOpen()) {
      std::string error;
      if (!m_raw.Append(text, error)) {
        m_failure = error;
        m_end = End::Running; // Failed wins over any other end
        Stop(End::Failed);
        return;
      }
    }
    m_buffer.Append(text);
    m_wait.stop();
    if (m_end == End::Running)
      m_idle.start();
    ShowProgress();
    if (m_end == End::Running && CardComplete())
      Stop(End::FullCard);
    StopIfNoCard();
  }

  // Data that can be no card ends the download, whatever ended it meanwhile
  // (an idle time, a hang-up), unless the card was full or writing failed.
  void StopIfNoCard()
  {
    if (m_overflow.empty() || m_end == End::FullCard || m_end == End::Failed)
      return;
    m_end = End::Running;
    Stop(End::NotACard);
  }

  bool CardComplete() const
  {
    if (FinishedLines() < m_fullLines)
      return false;
    // A CR that may still be followed by its LF: wait for it, or the raw file
    // would miss the stream's last byte.
    const std::string& t = m_buffer.Text();
    if (t.back() == '\r') {
      const std::size_t br = t.find_first_of("\r\n");
      return !(br + 1 < t.size() && t[br] == '\r' && t[br + 1] == '\n');
    }
    return true;
  }

  void LineError(TComErrors errors)
  {
    if (errors.Contains(ceIO)) {
      Stop(End::HungUp);
      return;
    }
    if (errors.Contains(ceOverrun) || errors.Contains(ceRxOver))
      std::fprintf(stderr, "dedizivi-cli download: warning: received bytes were lost (overrun)\n");
    if (errors.Contains(ceFrame) || errors.Contains(ceRxParity))
      std::fprintf(stderr, "dedizivi-cli download: warning: framing or parity errors: check the baud rate\n");
  }

  void DrainRemaining()
  {
    try {
      for (;;) {
        const std::int32_t n = m_port.QueuedInputCount();
        if (n <= 0)
          break;
        std::string text;
        m_port.ReadText(text, n);
        if (text.empty())
          break;
        Keep(text);
        if (m_end == End::Failed)
          break;
      }
    } catch (const EComPort&) {
      // A hung-up device: everything it delivered has been read.
    }
  }

  void ShowProgress()
  {
    if (m_quiet)
      return;
    const int lines = m_buffer.LineCount();
    if (m_tty) {
      if (lines != m_shown) {
        std::fprintf(stderr, "\rdownloading: %d / %d lines", lines, m_fullLines);
        std::fflush(stderr);
        m_shown = lines;
      }
      return;
    }
    const int step = std::max(1, m_fullLines / 10);
    while (lines >= m_shown + step || (m_shown < 0 && lines > 0)) {
      m_shown = m_shown < 0 ? 0 : m_shown + step;
      if (m_shown > 0)
        std::fprintf(stderr, "%d / %d lines\n", m_shown, m_fullLines);
    }
  }

  TComPort& m_port;
  RawFile& m_raw;
  const int m_fullLines;
  const bool m_quiet;
  const bool m_tty;
  QCoreApplication* m_app = nullptr;
  LineBuffer m_buffer;
  QTimer m_idle;
  QTimer m_wait;
  bool m_waitWanted = false;
  End m_end = End::Running;
  CardBound m_bound;
  std::string m_overflow; // why the stream can be no card, once it cannot
  std::string m_failure;
  int m_shown = -1;
};

} // namespace

int RunDownloadCommand(const std::vector<std::string_view>& argv)
{
  std::vector<OptionSpec> known(std::begin(kDownloadOptions), std::end(kDownloadOptions));
  known.insert(known.end(), std::begin(kOutputOptions), std::end(kOutputOptions));
  ParsedArgs args;
  if (auto error = ParseArgs(argv, known, args))
    return Usage(*error);
  if (args.Help) {
    PrintDownloadHelp(stdout);
    return kExitOk;
  }
  if (!args.Positional.empty())
    return Usage("unexpected argument '" + args.Positional[0] + "'");

  const auto modelText = args.Last("--model");
  if (!modelText)
    return Usage("--model N is required (0 to 8)");
  OutputRequest request;
  const auto modelIndex = ParseModelIndex(*modelText);
  if (!modelIndex)
    return Usage("invalid model '" + *modelText + "' (0 to 8)");
  request.Model = *modelIndex;
  const ModelInfo& model = *FindModel(request.Model);
  // --start and --interval date the archived download, with or without a CSV.
  if (auto error = ReadOutputOptions(args, request, !args.Has("--no-archive")))
    return Usage(*error);
  if (auto error = CheckRadiationInputs(request))
    return Usage("the radiation constant and offset cannot convert a reading (" + *error +
                 "): give --constant K as typed on the panel, e.g. 1,5");

  double idle = 5;
  if (auto v = args.Last("--idle")) {
    const auto s = ParseSeconds(*v, 0.05, 86400);
    if (!s)
      return Usage("invalid --idle '" + *v + "' (seconds, at least 0.05)");
    idle = *s;
  }
  double wait = 60;
  if (auto v = args.Last("--wait")) {
    const auto s = ParseSeconds(*v, 0, 7 * 86400);
    if (!s)
      return Usage("invalid --wait '" + *v + "' (seconds, 0 for no limit)");
    wait = *s;
  }
  const auto rawPath = args.Last("--raw");
  if (rawPath && (*rawPath == "-" || rawPath->empty()))
    return Usage("--raw needs a file name");
  if (rawPath)
    request.Files.AddWrittenByCaller("--raw", *rawPath);

  int fakeArgc = 1;
  char programName[] = "dedizivi-cli";
  char* fakeArgv[] = {programName, nullptr};
  CliApplication app(fakeArgc, fakeArgv);

  TComPort port;
  bool usageError = false;
  if (auto error = SetUpPort(port, {args.Last("--port"), args.Last("--baud")}, usageError))
    return usageError ? Usage(*error) : Fail(*error);
  // Before the port opens: an output that is the raw file or the port itself
  // would destroy the only copy of the card, or send the logger its numbers.
  request.Files.AddDevice("--port", TCustomComPort::DevicePath(port.Port()));
  if (auto error = request.Files.Check())
    return Usage(*error);

  // The raw file comes before the port: a bad name must not cost a download.
  RawFile raw;
  std::string error;
  if (rawPath && !raw.Open(*rawPath, error))
    return Fail(error);

  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return Fail(std::string("cannot set up signal handling: ") + std::strerror(errno));
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);

  Download download(port, model, raw, idle, wait, args.Has("--quiet"));
  try {
    port.OpenPort();
  } catch (const EComPort& e) {
    raw.Finish(error);
    return Fail("cannot open port '" + port.Port() + "': " + PortErrorText(e));
  }
  const auto recording = args.Has("--no-archive") ? nullptr : StartRecording("download", port, request.Model);
  download.Recorder = recording.get();
  // The archive is waited for last, whatever the outcome: the outputs never
  // wait for it.
  const auto awaitArchive = qScopeGuard([&] { AwaitRecording("download", recording.get(), args.Has("--quiet"), request); });
  try {
    port.WriteText(std::string(1, model.Trigger));
  } catch (const EComPort& e) {
    port.ClosePort();
    raw.Finish(error);
    return Fail("cannot send the trigger to '" + port.Port() + "': " + PortErrorText(e));
  }
  if (!args.Has("--quiet"))
    std::fprintf(stderr, "waiting for the logger on %s: press the download button of the Vexa-Downloader\n",
                 port.Port().c_str());

  const End end = download.Run(app, g_signalPipe[0]);
  EndRecording(recording.get(), request,
               end == End::FullCard                     ? EndReason::FullCard
               : end == End::Idle || end == End::NoData ? EndReason::Idle
               : end == End::HungUp                     ? EndReason::LineLost
               : end == End::Interrupted                ? EndReason::Closed
               : end == End::NotACard                   ? EndReason::NotACard
               : end == End::Failed                     ? EndReason::OutputFailed
                                                        : EndReason::Quit);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);

  if (!raw.Finish(error))
    return Fail(error);
  if (end == End::Failed)
    return Fail(download.Failure());
  if (end == End::NotACard)
    return Fail("stopped after " + std::to_string(download.Bytes()) + " bytes: " + download.Overflow() +
                ". This is no logger card: check the model, the port and its baud rate" +
                (rawPath ? " (what arrived is kept in '" + *rawPath + "')" : std::string()));

  const LineBuffer& received = download.Buffer();
  if (download.Bytes() == 0) {
    if (end == End::Interrupted) {
      std::fprintf(stderr, "dedizivi-cli download: interrupted before any data arrived\n");
      return kExitInterrupted;
    }
    if (end == End::HungUp)
      return Fail("the port '" + port.Port() + "' went away before any data arrived");
    std::fprintf(stderr,
                 "dedizivi-cli download: no data from the logger on '%s' within %g s of the trigger "
                 "(check the cable, the model and the port settings, and press the download button)\n",
                 port.Port().c_str(), wait);
    return kExitNoData;
  }

  // The last line is read as it stands, as the window reads it, unless the
  // download is known to have been cut off in the middle of it: then it may
  // hold "1" of a "15", and is left out.
  const bool cut = end == End::HungUp || end == End::Interrupted;
  const DownloadConversion dc = ConvertReceived(request, received.Text(), cut ? LastLine::LeaveOutCut : LastLine::AsItStands);
  const Converted& c = dc.Result;
  const bool shortDownload = dc.Short();
  if (dc.Failed())
    return Fail("conversion stopped at sample " + std::to_string(c.Error->Sample()) + ": " + c.Error->what() +
                (rawPath ? " (the raw download is kept in '" + *rawPath + "')" : std::string()));
  NoteLastLine("download", c, cut ? LastLine::LeaveOutCut : LastLine::AsItStands);

  // Not one whole sample (a byte of line noise, a stray XOFF): outputs that
  // exist stay as they were, rather than become empty.
  if (c.Rows > 0) {
    if (auto failed = WriteOutputs(request, c.Grid, c.Rows))
      return Fail(*failed);
  }

  if (end != End::FullCard && shortDownload) {
    const char* why = end == End::Idle          ? "no data for the idle time"
                      : end == End::Interrupted ? "interrupted"
                      : end == End::HungUp      ? "the port went away"
                                                : "stopped";
    std::fprintf(stderr, "dedizivi-cli download: download ended (%s) after %d of %d lines; %d of %d samples converted%s\n",
                 why, received.LineCount(), download.FullLines(), c.Rows, model.Samples,
                 c.Rows > 0 ? "" : ", so no output was written or changed");
  }
  return shortDownload ? kExitShort : kExitOk;
}

} // namespace dz::cli
