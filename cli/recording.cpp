#include "recording.h"

#include "models.h"
#include "portdescription.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace dz::cli {

namespace {

ArchiveRecorder::NoticeHandler Warn(std::string_view command)
{
  return [name = std::string(command)](const ArchiveNotice& n) {
    const char* what = name.c_str();
    switch (n.What) {
    case ArchiveNotice::MovedAside:
      std::fprintf(stderr, "dedizivi-cli %s: warning: '%s' was not a readable archive (%s); kept as '%s', a new archive begun\n",
                   what, n.Path.c_str(), n.Detail.c_str(), n.MovedTo.c_str());
      break;
    case ArchiveNotice::CannotWrite:
      std::fprintf(stderr, "dedizivi-cli %s: warning: the archive cannot be written (%s); the %s goes on without it\n",
                   what, n.Detail.c_str(), what);
      break;
    case ArchiveNotice::NotArchived:
      std::fprintf(stderr, "dedizivi-cli %s: warning: the %s could not be archived (%s)\n", what, what,
                   n.Detail.c_str());
      break;
    case ArchiveNotice::NotACard:
      std::fprintf(stderr, "dedizivi-cli %s: warning: %s, more than any card: the archive keeps only what came before\n",
                   what, n.Detail.c_str());
      break;
    }
  };
}

// A moment more than the last commit takes: only a real wait is said.
constexpr std::chrono::milliseconds kQuietWait{700};

void Await(std::string_view command, ArchiveRecorder& recorder, bool quiet)
{
  // A command that stopped before the download could end it ends it now.
  recorder.Quit();
  const auto until = std::chrono::steady_clock::now() + kQuietWait;
  while (!recorder.Done() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!recorder.Done() && !quiet)
    std::fprintf(stderr, "dedizivi-cli %.*s: waiting for the archive of downloads, which another program holds (at most a minute)\n",
                 static_cast<int>(command.size()), command.data());
  recorder.Wait();
}

} // namespace

std::unique_ptr<ArchiveRecorder> StartRecording(std::string_view command, const TCustomComPort& port, int model)
{
  return std::make_unique<ArchiveRecorder>(Archive::DefaultPath(),
                                           DescribeDownload(port, Source::CommandLine, model), Warn(command));
}

void EndRecording(ArchiveRecorder* recorder, const OutputRequest& request, EndReason reason)
{
  if (!recorder)
    return;
  DownloadEnd end{reason, request.Model, std::nullopt, std::nullopt};
  if (request.Model == kRadiationModel) {
    end.Constant = request.Constant;
    end.Offset = request.Offset;
  }
  recorder->Finish(std::move(end));
}

void AwaitRecording(std::string_view command, ArchiveRecorder* recorder, bool quiet, const OutputRequest& request)
{
  if (!recorder)
    return;
  Await(command, *recorder, quiet);
  // --start and --interval date the entry.
  if (request.Csv.Times && recorder->Id() != 0) {
    try {
      if (const auto archive = Archive::OpenExisting(Archive::DefaultPath()))
        archive->SetTiming(recorder->Id(), request.Csv.Times->First.Iso(), request.Csv.Times->IntervalSeconds);
    } catch (const ArchiveError& e) {
      std::fprintf(stderr, "dedizivi-cli %.*s: warning: the archive's entry could not be dated (%s)\n",
                   static_cast<int>(command.size()), command.data(), e.what());
    }
  }
}

void RecordErase(std::string_view command, const TCustomComPort& port)
{
  ArchiveRecorder recorder(Archive::DefaultPath(), DescribeErase(port, Source::CommandLine), Warn(command));
  Await(command, recorder, false);
}

} // namespace dz::cli
