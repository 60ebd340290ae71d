// dedizivi-cli archive: the archive of downloads from a shell: list it, export
// a download again (through the very outputs of 'convert'), delete, prune,
// back it up.

#include "archivesupport.h"
#include "commands.h"
#include "fileio.h"
#include "output.h"

#include "archive.h"
#include "models.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

namespace dz::cli {

namespace {

void PrintArchiveHelp(std::FILE* to)
{
  std::fprintf(to,
    "Usage: dedizivi-cli archive list [--json]\n"
    "       dedizivi-cli archive export ID [--model N] [--raw FILE] [-o FILE]\n"
    "                 [--csv FILE [--decimal point|comma] [--start TIME] [--interval D]]\n"
    "                 [--constant K] [--offset O]\n"
    "       dedizivi-cli archive delete ID\n"
    "       dedizivi-cli archive prune --before DATE\n"
    "       dedizivi-cli archive backup FILE\n"
    "\n"
    "Every download of the window and of 'dedizivi-cli download' is kept, as it\n"
    "arrives, in the archive %s\n"
    "(a SQLite file; $XDG_DATA_HOME moves it), and every erase command sent is\n"
    "noted there. A download whose program died before it ended is listed as\n"
    "interrupted, with the bytes that reached the archive.\n"
    "\n"
    "  list          newest first: id, start, source, model, lines, bytes, how it\n"
    "                ended, port. --json: an array of objects with id, kind\n"
    "                (download, erase), source (window, cli), started, ended, port,\n"
    "                port_by_id, baud, data_bits, stop_bits, parity, flow_control,\n"
    "                model (0-8 or null), model_text, trigger, constant, offset,\n"
    "                bytes, lines and end (running, closed, full, idle, line-lost,\n"
    "                quit, interrupted, erase, incomplete: not all of it reached\n"
    "                the archive, not-a-card, output-failed: its raw file could\n"
    "                not be written, erased: ended by \"BORRAR\")\n"
    "  export ID     converts download ID as 'dedizivi-cli download' converted it,\n"
    "                with the outputs, rules and options of 'convert': the samples\n"
    "                that arrived whole, status 3 when it ended short; --raw FILE\n"
    "                writes its raw bytes as received. The model, radiation\n"
    "                constant and offset are the download's unless given;\n"
    "                --interval without --start stamps the CSV from the\n"
    "                download's start\n"
    "  delete ID     deletes one entry for good (not while it is being written)\n"
    "  prune         deletes every entry that started before DATE (2024-05-01, or\n"
    "                2024-05-01T08:00[:00][+02:00|Z]); downloads still running stay\n"
    "  backup FILE   writes a consistent copy of the archive, with its newest\n"
    "                downloads, to FILE: use it rather than copying the file\n"
    "\n"
    "The archive's files are never an output of any command.\n"
    "\n"
    "Exit status: 0 done; 1 failure (the archive, the conversion, writing, an\n"
    "entry with no bytes or more than any card); 2 usage error, or no such entry;\n"
    "3 export: the download ended short (the samples that arrived are written).\n",
    Archive::DefaultPath().c_str());
}

int Usage(const std::string& command, const std::string& message)
{
  std::fprintf(stderr, "dedizivi-cli archive%s: %s\n(try 'dedizivi-cli archive --help')\n", command.c_str(),
               message.c_str());
  return kExitUsage;
}

int Fail(const std::string& command, const std::string& message)
{
  std::fprintf(stderr, "dedizivi-cli archive%s: %s\n", command.c_str(), message.c_str());
  return kExitFailed;
}

std::optional<std::int64_t> ParseId(std::string_view text)
{
  std::int64_t id = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), id);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || id <= 0)
    return std::nullopt;
  return id;
}

QJsonValue OrNull(const std::string& text)
{
  return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
}

QJsonValue OrNull(const std::optional<std::string>& text)
{
  return text ? QJsonValue(QString::fromStdString(*text)) : QJsonValue();
}

QJsonObject Json(const ArchivedDownload& d)
{
  QJsonObject o;
  o["id"] = qint64(d.Id);
  o["kind"] = d.Erase ? "erase" : "download";
  o["source"] = QString::fromLatin1(SourceName(d.From).data(), qsizetype(SourceName(d.From).size()));
  o["started"] = QString::fromStdString(d.Started.Iso);
  o["ended"] = OrNull(d.Ended);
  o["port"] = QString::fromStdString(d.Port);
  o["port_by_id"] = OrNull(d.PortById);
  o["baud"] = d.Line.Baud;
  o["data_bits"] = d.Line.DataBits;
  o["stop_bits"] = QString::fromStdString(d.Line.StopBits);
  o["parity"] = QString::fromStdString(d.Line.Parity);
  o["flow_control"] = QString::fromStdString(d.Line.FlowControl);
  o["model"] = d.Model >= 0 ? QJsonValue(d.Model) : QJsonValue();
  o["model_text"] = OrNull(d.ModelText);
  o["trigger"] = OrNull(d.Trigger);
  o["constant"] = OrNull(d.Constant);
  o["offset"] = OrNull(d.Offset);
  o["bytes"] = qint64(d.Bytes);
  o["lines"] = qint64(d.Lines);
  o["end"] = QString::fromLatin1(EndReasonName(d.End).data(), qsizetype(EndReasonName(d.End).size()));
  return o;
}

int List(const std::vector<std::string_view>& argv)
{
  constexpr OptionSpec kOptions[] = {{"--json", false, {}}};
  ParsedArgs args;
  if (auto error = ParseArgs(argv, kOptions, args))
    return Usage(" list", *error);
  if (!args.Positional.empty())
    return Usage(" list", "unexpected argument '" + args.Positional[0] + "'");
  std::vector<ArchivedDownload> list;
  if (auto error = UseUsersArchive("list", [&list](Archive* archive) {
      list = archive ? archive->List() : std::vector<ArchivedDownload>();
    }))
    return Fail(" list", *error);
  if (args.Has("--json")) {
    QJsonArray array;
    for (const ArchivedDownload& d : list)
      array.append(Json(d));
    std::fputs(JsonForTerminal(QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString()).c_str(), stdout);
    return kExitOk;
  }
  if (!list.empty())
    std::printf("%6s  %-25s  %-6s  %5s  %5s  %7s  %-13s  %s\n", "ID", "STARTED", "SOURCE", "MODEL", "LINES", "BYTES",
                "END", "PORT");
  for (const ArchivedDownload& d : list)
    std::printf("%6lld  %-25s  %-6s  %5s  %5lld  %7lld  %-13s  %s\n", static_cast<long long>(d.Id),
                Printable(d.Started.Iso).c_str(), std::string(SourceName(d.From)).c_str(),
                d.Model >= 0 ? std::to_string(d.Model).c_str() : "-", static_cast<long long>(d.Lines),
                static_cast<long long>(d.Bytes), std::string(EndReasonName(d.End)).c_str(), Printable(d.Port).c_str());
  return kExitOk;
}

// Entry ID, the one positional; a message and status when there is none.
std::optional<int> EntryId(const std::string& command, const ParsedArgs& args, std::int64_t& id)
{
  if (args.Positional.size() != 1)
    return Usage(command, args.Positional.empty() ? "which entry? give its ID (see 'dedizivi-cli archive list')"
                                                  : "one ID only");
  const auto parsed = ParseId(args.Positional[0]);
  if (!parsed)
    return Usage(command, "invalid ID '" + args.Positional[0] + "'");
  id = *parsed;
  return std::nullopt;
}

int NoEntry(const std::string& command, std::int64_t id)
{
  return Usage(command, "no entry " + std::to_string(id) + " in the archive " + Archive::DefaultPath());
}

int Export(const std::vector<std::string_view>& argv)
{
  const std::string command = " export";
  std::vector<OptionSpec> known = {{"--model", true, {}}, {"--raw", true, {}}};
  known.insert(known.end(), std::begin(kOutputOptions), std::end(kOutputOptions));
  ParsedArgs args;
  if (auto error = ParseArgs(argv, known, args))
    return Usage(command, *error);
  std::int64_t id = 0;
  if (auto status = EntryId(command, args, id))
    return *status;
  // The entry and its bytes as they stand together; no more bytes than
  // 'convert' reads from a file.
  std::optional<Archive::Loaded> loaded;
  if (auto error = UseUsersArchive("export", [&](Archive* archive) {
      loaded = archive ? archive->Load(id, kMaxStreamBytes) : std::nullopt;
    }))
    return Fail(command, *error);
  if (!loaded)
    return NoEntry(command, id);
  const ArchivedDownload& d = loaded->Entry;
  if (d.Erase)
    return Usage(command, "entry " + std::to_string(d.Id) + " is an erase command: it holds no data");

  OutputRequest request;
  request.Model = d.Model;
  if (auto text = args.Last("--model")) {
    const auto model = ParseModelIndex(*text);
    if (!model)
      return Usage(command, "invalid model '" + *text + "' (0 to 8)");
    request.Model = *model;
  }
  // What the download was converted with, unless told otherwise.
  if (d.Constant && !args.Has("--constant"))
    args.Values["--constant"].push_back(*d.Constant);
  if (d.Offset && !args.Has("--offset"))
    args.Values["--offset"].push_back(*d.Offset);
  if (args.Has("--interval") && !args.Has("--start"))
    args.Values["--start"].push_back(d.Started.Iso);
  if (auto error = ReadOutputOptions(args, request))
    return Usage(command, *error);
  const auto rawPath = args.Last("--raw");
  const bool converting = !rawPath || args.Has("--output") || args.Has("--csv");
  if (!converting) {
    // Only the raw bytes were asked for: no data file on standard output.
    request.Files = OutputSet{};
    request.DataOutput.reset();
  }
  if (converting && !FindModel(request.Model))
    return Usage(command, "download " + std::to_string(d.Id) + " has no model: give --model N (0 to 8)");
  std::optional<std::size_t> rawOutput;
  if (rawPath)
    rawOutput = request.Files.AddOutput("--raw", *rawPath);
  if (auto error = request.Files.Check())
    return Usage(command, *error);

  if (loaded->TooLarge)
    return Fail(command, "download " + std::to_string(d.Id) + " holds " + std::to_string(loaded->StoredBytes) +
                           " bytes, more than any logger card (over " + std::to_string(kMaxStreamBytes) +
                           " bytes): not a raw download");
  if (loaded->Raw.empty())
    return Fail(command, "download " + std::to_string(d.Id) + " holds no bytes: nothing came, or nothing reached the archive");
  if (d.End == EndReason::Running)
    std::fprintf(stderr, "dedizivi-cli archive export: download %lld is still being written: what it holds so far (%lld bytes) is exported\n",
                 static_cast<long long>(d.Id), static_cast<long long>(loaded->StoredBytes));
  const std::string& raw = loaded->Raw;
  // The raw bytes are one more output of the same transaction.
  if (rawOutput)
    request.Files.SetContents(*rawOutput, raw);

  if (!converting) {
    if (auto failed = request.Files.Commit())
      return Fail(command, *failed);
    return kExitOk;
  }
  // As 'download' converted it: the samples that arrived whole.
  const LastLine last = EndedCut(d) ? LastLine::LeaveOutCut : LastLine::AsItStands;
  const DownloadConversion dc = ConvertReceived(request, raw, last);
  const Converted& c = dc.Result;
  NoteLastLine("archive export", c, last);
  if (dc.Failed())
    return Fail(command, "conversion stopped at sample " + std::to_string(c.Error->Sample()) + ": " +
                           c.Error->what());
  if (c.Rows > 0) {
    if (auto failed = WriteOutputs(request, c.Grid, c.Rows))
      return Fail(command, *failed);
  }
  if (!dc.Short())
    return kExitOk;
  LineCounter lines;
  lines.Add(raw);
  std::fprintf(stderr,
               "dedizivi-cli archive export: download %lld ended short (%s) after %lld of %d lines; %d of %d samples "
               "converted%s\n",
               static_cast<long long>(d.Id), ShortEndText(d).c_str(), static_cast<long long>(lines.Lines()),
               CardLines(*FindModel(request.Model)), c.Rows, dc.Samples,
               c.Rows > 0 ? "" : ", so no output was written or changed");
  return kExitShort;
}

int Delete(const std::vector<std::string_view>& argv)
{
  const std::string command = " delete";
  ParsedArgs args;
  if (auto error = ParseArgs(argv, {}, args))
    return Usage(command, *error);
  std::int64_t id = 0;
  if (auto status = EntryId(command, args, id))
    return *status;
  bool deleted = false;
  if (auto error = UseUsersArchive("delete", [&](Archive* archive) { deleted = archive && archive->Delete(id); }))
    return Fail(command, *error);
  if (!deleted)
    return NoEntry(command, id);
  std::printf("deleted entry %lld\n", static_cast<long long>(id));
  return kExitOk;
}

int Prune(const std::vector<std::string_view>& argv)
{
  const std::string command = " prune";
  constexpr OptionSpec kOptions[] = {{"--before", true, {}}};
  ParsedArgs args;
  if (auto error = ParseArgs(argv, kOptions, args))
    return Usage(command, *error);
  if (!args.Positional.empty())
    return Usage(command, "unexpected argument '" + args.Positional[0] + "'");
  const auto before = args.Last("--before");
  if (!before)
    return Usage(command, "--before DATE is required");
  const auto when = ParseMoment(*before);
  if (!when)
    return Usage(command, "invalid DATE '" + Printable(*before) +
                            "' (2024-05-01, or 2024-05-01T08:00[:00] in local time, or with Z or an offset such as "
                            "+02:00)");
  int deleted = 0;
  int running = 0;
  if (auto error = UseUsersArchive("prune", [&](Archive* archive) {
      deleted = archive ? archive->Prune(*when, running) : 0;
    }))
    return Fail(command, *error);
  std::printf("deleted %d entr%s started before %s\n", deleted, deleted == 1 ? "y" : "ies", StampAt(*when).Iso.c_str());
  if (running > 0)
    std::printf("kept %d download%s still running\n", running, running == 1 ? "" : "s");
  return kExitOk;
}

} // namespace

int RunArchiveCommand(const std::vector<std::string_view>& args)
{
  if (args.empty()) {
    PrintArchiveHelp(stderr);
    return kExitUsage;
  }
  const std::string_view what = args[0];
  const std::vector<std::string_view> rest(args.begin() + 1, args.end());
  const bool help = std::find(rest.begin(), rest.end(), "--help") != rest.end() ||
                    std::find(rest.begin(), rest.end(), "-h") != rest.end();
  if (what == "--help" || what == "-h" || help) {
    PrintArchiveHelp(stdout);
    return kExitOk;
  }
  if (what == "list")
    return List(rest);
  if (what == "export")
    return Export(rest);
  if (what == "delete")
    return Delete(rest);
  if (what == "prune")
    return Prune(rest);
  if (what == "backup")
    return RunArchiveBackup(rest);
  return Usage("", "unknown subcommand '" + Printable(what) + "' (list, export, delete, prune or backup)");
}

} // namespace dz::cli
