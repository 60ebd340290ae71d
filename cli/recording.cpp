#include "recording.h"

#include "models.h"
#include "portdescription.h"

#include <cstdio>
#include <string>

namespace dz::cli {

namespace {

ArchiveRecorder::NoticeHandler Warn(std::string_view command)
{
  return [name = std::string(command)](const ArchiveNotice& n) {
    if (n.What == ArchiveNotice::MovedAside)
      std::fprintf(stderr, "dedizivi-cli %s: warning: '%s' was not a readable archive (%s); kept as '%s', a new archive begun\n",
                   name.c_str(), n.Path.c_str(), n.Detail.c_str(), n.MovedTo.c_str());
    else
      std::fprintf(stderr, "dedizivi-cli %s: warning: the archive cannot be written (%s); the %s goes on without it\n",
                   name.c_str(), n.Detail.c_str(), name.c_str());
  };
}

} // namespace

std::unique_ptr<ArchiveRecorder> StartRecording(std::string_view command, const TCustomComPort& port, int model)
{
  return std::make_unique<ArchiveRecorder>(Archive::DefaultPath(),
                                           DescribeDownload(port, Source::CommandLine, model), Warn(command));
}

void FinishRecording(ArchiveRecorder* recorder, const OutputRequest& request, EndReason reason)
{
  if (!recorder)
    return;
  DownloadEnd end{reason, request.Model, std::nullopt, std::nullopt};
  if (request.Model == kRadiationModel) {
    end.Constant = request.Constant;
    end.Offset = request.Offset;
  }
  recorder->Finish(std::move(end));
  recorder->Wait();
  // --start and --interval date the entry.
  if (request.Csv.Times && recorder->Id() != 0) {
    try {
      if (const auto archive = Archive::OpenExisting(Archive::DefaultPath()))
        archive->SetTiming(recorder->Id(), request.Csv.Times->First.Iso(), request.Csv.Times->IntervalSeconds);
    } catch (const ArchiveError& e) {
      std::fprintf(stderr, "dedizivi-cli download: warning: the archive's entry could not be dated (%s)\n", e.what());
    }
  }
}

void RecordErase(std::string_view command, const TCustomComPort& port)
{
  ArchiveRecorder(Archive::DefaultPath(), DescribeErase(port, Source::CommandLine), Warn(command)).Wait();
}

} // namespace dz::cli
