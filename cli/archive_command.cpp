// dedizivi-cli archive: the archive of downloads from a shell: list it, export
// a download again (through the very outputs of 'convert'), date it, sum up
// its days, delete, prune, back it up.

#include "archivesupport.h"
#include "commands.h"
#include "fileio.h"
#include "output.h"

#include "archive.h"
#include "daysummary.h"
#include "models.h"
#include "timing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace dz::cli {

namespace {

void PrintArchiveHelp(std::FILE* to)
{
  std::fprintf(to,
    "Usage: dedizivi-cli archive list [--json]\n"
    "       dedizivi-cli archive export ID [--model N] [--raw FILE] [-o FILE]\n"
    "                 [--csv FILE [--decimal point|comma] [--start TIME] [--interval D]\n"
    "                 [--all]] [--constant K] [--offset O]\n"
    "       dedizivi-cli archive set ID --start TIME --interval D | --clear\n"
    "       dedizivi-cli archive summary ID [--json | --csv FILE [--decimal point|comma]]\n"
    "                 [--base B] [--model N] [--constant K] [--offset O]\n"
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
    "                bytes, lines, end (running, closed, full, idle, line-lost,\n"
    "                quit, interrupted, erase, incomplete: not all of it reached\n"
    "                the archive, not-a-card, output-failed: its raw file could\n"
    "                not be written, erased: ended by \"BORRAR\"), first_sample,\n"
    "                interval (seconds) and recorded (null while not dated)\n"
    "  export ID     converts download ID as 'dedizivi-cli download' converted it,\n"
    "                with the outputs, rules and options of 'convert': the samples\n"
    "                that arrived whole, status 3 when it ended short; --raw FILE\n"
    "                writes its raw bytes as received. The model, radiation\n"
    "                constant and offset are the download's unless given. A dated\n"
    "                download's CSV has a time column and only its recorded samples\n"
    "                (how many rows were left out goes to standard error; --all\n"
    "                keeps them, without a time); --start and --interval replace\n"
    "                the stored ones\n"
    "  set ID        dates download ID: the time of its first sample (ISO 8601;\n"
    "                local time unless an offset is given) and the interval set on\n"
    "                the logger (16s 30s 1m 5m 10m 20m 30m 1h; 15s 1m 30m 1h on\n"
    "                the seven-channel logger); --clear removes them\n"
    "  summary ID    one row per local calendar day of a dated download's recorded\n"
    "                samples: date, samples, hours, each channel's min, mean and\n"
    "                max as the grid shows them, the daily light integral (mol\n"
    "                m-2 d-1) of the radiation logger and, with --base B, the\n"
    "                degree-days above B of the temperature loggers\n"
    "  delete ID     deletes one entry for good (not while it is being written)\n"
    "  prune         deletes every entry that started before DATE (2024-05-01, or\n"
    "                2024-05-01T08:00[:00][+02:00|Z]); downloads still running stay\n"
    "  backup FILE   writes a consistent copy of the archive, with its newest\n"
    "                downloads, to FILE: use it rather than copying the file\n"
    "\n"
    "Recorded samples: those the logger can have taken before the download began,\n"
    "sample k being (k-1) intervals after the first, and at most what its card\n"
    "holds (500 per channel on the two-channel logger, 1000 on the one-channel\n"
    "ones, 1170 on the seven-channel one). Times are those of the time zone of\n"
    "this machine (TZ), with the UTC offset in force at each.\n"
    "\n"
    "The archive's files are never an output of any command.\n"
    "\n"
    "Exit status: 0 done; 1 failure (the archive, the conversion, writing, an\n"
    "entry with no bytes or more than any card, a summary of a download that is\n"
    "not dated); 2 usage error, or no such entry; 3 export: the download ended\n"
    "short (the samples that arrived are written).\n",
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
  const auto timing = TimingOf(d.FirstSample, d.IntervalSeconds);
  o["first_sample"] = timing ? QJsonValue(QString::fromStdString(timing->SampleIso(1))) : QJsonValue();
  o["interval"] = timing ? QJsonValue(qint64(timing->IntervalSeconds)) : QJsonValue();
  const ModelInfo* model = FindModel(d.Model);
  o["recorded"] = timing && model && !d.Erase
                    ? QJsonValue(RecordedSamples(*model, SamplesInLines(*model, d.Lines), *timing, d.Started.Ms))
                    : QJsonValue();
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

// The stored timing fills in what of --start and --interval is not given;
// a usage message when only one is given and nothing is stored.
std::optional<std::string> FillStoredTiming(const ArchivedDownload& d, ParsedArgs& args)
{
  const bool start = args.Has("--start");
  const bool interval = args.Has("--interval");
  const auto stored = TimingOf(d.FirstSample, d.IntervalSeconds);
  if (!stored) {
    if (start != interval)
      return "download " + std::to_string(d.Id) + " is not dated: give both --start TIME and --interval D";
    return std::nullopt;
  }
  if (!start)
    args.Values["--start"].push_back(stored->First.Iso());
  if (!interval)
    args.Values["--interval"].push_back(std::to_string(stored->IntervalSeconds) + "s");
  return std::nullopt;
}

// Why rows of a dated download are left out.
std::string NotRecordedText(const ModelInfo& model, int rows, int recorded, const SampleTiming& timing,
                            const ArchivedDownload& d, bool kept)
{
  const std::string started = InLocalZone(d.Started.Ms).Iso();
  std::string text;
  if (recorded == 0) {
    text = "none of the " + std::to_string(rows) + " samples was recorded: sample 1 at " + timing.SampleIso(1) +
           " is not before the download began (" + started + "); check the timing ('dedizivi-cli archive set')";
  } else {
    text = std::to_string(rows - recorded) + " of " + std::to_string(rows) + " rows " +
           (kept ? "kept without a time" : "left out") + " as not recorded: only samples 1 to " +
           std::to_string(recorded) + " can have been taken before the download began (" + started +
           ") on a card of " + std::to_string(CardCapacity(model)) + " samples";
    if (!kept)
      text += "; --all keeps them";
  }
  return text;
}

// The summary as a table for a terminal.
void PrintSummary(const ModelInfo& model, const std::vector<DaySummary>& days)
{
  std::printf("%-10s  %7s  %7s", "DATE", "SAMPLES", "HOURS");
  for (int c = 0; c < model.Columns; ++c)
    std::printf("  %-22s", (std::string(model.ColumnTitles[static_cast<std::size_t>(c)]) + " MIN/MEAN/MAX").c_str());
  if (model.Index == kRadiationModel)
    std::printf("  %s", "DLI mol/m2/d");
  std::printf("\n");
  for (const DaySummary& day : days) {
    std::printf("%-10s  %7d  %7.10g", day.Date.c_str(), day.Samples, Rounded(day.Hours, 4));
    for (const ChannelDay& ch : day.Channels) {
      char cell[96];
      std::snprintf(cell, sizeof cell, "%.10g/%.10g/%.10g", ch.Min, Rounded(ch.Mean, 3), ch.Max);
      std::printf("  %-22s", cell);
      if (ch.DegreeDays)
        std::printf(" degree-days %.10g", Rounded(*ch.DegreeDays, 3));
    }
    if (day.Dli)
      std::printf("  %.10g", Rounded(*day.Dli, 3));
    std::printf("\n");
  }
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

// Download ID (the one positional) as the archive holds it, with at most
// `limit` of its bytes; a message and status when there is no such download.
std::optional<int> LoadDownload(const std::string& command, const ParsedArgs& args, std::int64_t limit,
                                std::optional<Archive::Loaded>& loaded)
{
  std::int64_t id = 0;
  if (auto status = EntryId(command, args, id))
    return status;
  if (auto error = UseUsersArchive(command.substr(1), [&](Archive* archive) {
      loaded = archive ? archive->Load(id, limit) : std::nullopt;
    }))
    return Fail(command, *error);
  if (!loaded)
    return NoEntry(command, id);
  if (loaded->Entry.Erase)
    return Usage(command, "entry " + std::to_string(id) + " is an erase command: it holds no data");
  return std::nullopt;
}

// The model a download converts with: --model, else its own.
std::optional<int> ModelToUse(const std::string& command, const ParsedArgs& args, const ArchivedDownload& d,
                              int& model)
{
  model = d.Model;
  if (auto text = args.Last("--model")) {
    const auto given = ParseModelIndex(*text);
    if (!given)
      return Usage(command, "invalid model '" + *text + "' (0 to 8)");
    model = *given;
  }
  return std::nullopt;
}

int Export(const std::vector<std::string_view>& argv)
{
  const std::string command = " export";
  std::vector<OptionSpec> known = {{"--model", true, {}}, {"--raw", true, {}}, {"--all", false, {}}};
  known.insert(known.end(), std::begin(kOutputOptions), std::end(kOutputOptions));
  ParsedArgs args;
  if (auto error = ParseArgs(argv, known, args))
    return Usage(command, *error);
  // The entry and its bytes as they stand together; no more bytes than
  // 'convert' reads from a file.
  std::optional<Archive::Loaded> loaded;
  if (auto status = LoadDownload(command, args, kMaxStreamBytes, loaded))
    return *status;
  const ArchivedDownload& d = loaded->Entry;

  OutputRequest request;
  if (auto status = ModelToUse(command, args, d, request.Model))
    return *status;
  // What the download was converted with, unless told otherwise.
  if (d.Constant && !args.Has("--constant"))
    args.Values["--constant"].push_back(*d.Constant);
  if (d.Offset && !args.Has("--offset"))
    args.Values["--offset"].push_back(*d.Offset);
  // The stored timing dates the CSV, each half unless given.
  if (args.Has("--csv")) {
    if (auto error = FillStoredTiming(d, args))
      return Usage(command, *error);
  }
  if (auto error = ReadOutputOptions(args, request))
    return Usage(command, *error);
  if (args.Has("--all") && !args.Has("--csv"))
    return Usage(command, "--all shapes the CSV: give --csv FILE too");
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
  int recorded = c.Rows;
  if (request.Csv.Times) {
    recorded = RecordedSamples(*FindModel(request.Model), c.Rows, *request.Csv.Times, d.Started.Ms);
    request.Csv.DatedRows = recorded;
    if (!args.Has("--all"))
      request.CsvRows = recorded;
  }
  if (c.Rows > 0) {
    if (auto failed = WriteOutputs(request, c.Grid, c.Rows))
      return Fail(command, *failed);
  }
  if (recorded < c.Rows)
    std::fprintf(stderr, "dedizivi-cli archive export: %s\n",
                 NotRecordedText(*FindModel(request.Model), c.Rows, recorded, *request.Csv.Times, d,
                                 args.Has("--all"))
                   .c_str());
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

int Set(const std::vector<std::string_view>& argv)
{
  const std::string command = " set";
  constexpr OptionSpec kOptions[] = {{"--start", true, {}}, {"--interval", true, {}}, {"--clear", false, {}}};
  ParsedArgs args;
  if (auto error = ParseArgs(argv, kOptions, args))
    return Usage(command, *error);
  const bool clear = args.Has("--clear");
  if (clear && (args.Has("--start") || args.Has("--interval")))
    return Usage(command, "--clear removes the timing: give it alone");
  if (!clear && !args.Has("--start") && !args.Has("--interval"))
    return Usage(command, "give --start TIME and --interval D, or --clear");
  std::optional<Archive::Loaded> loaded;
  if (auto status = LoadDownload(command, args, 0, loaded))
    return *status;
  const ArchivedDownload& d = loaded->Entry;

  std::string first;
  std::int64_t interval = 0;
  if (!clear) {
    if (auto error = FillStoredTiming(d, args))
      return Usage(command, *error);
    const std::string startText = *args.Last("--start");
    StartProblem problem {};
    const auto start = ParseStart(startText, &problem);
    if (!start)
      return Usage(command, InvalidStartMessage(startText, problem));
    const std::string intervalText = *args.Last("--interval");
    const auto seconds = ParseDuration(intervalText);
    if (!seconds)
      return Usage(command, "invalid --interval '" + intervalText + "' (e.g. 16s, 30s, 1m, 5m, 15m, 30m, 1h)");
    first = start->Iso();
    interval = *seconds;
  }
  bool set = false;
  if (auto error = UseUsersArchive("set", [&](Archive* archive) {
      set = archive && archive->SetTiming(d.Id, first, interval);
    }))
    return Fail(command, *error);
  if (!set)
    return NoEntry(command, d.Id);
  if (clear) {
    std::printf("download %lld is no longer dated\n", static_cast<long long>(d.Id));
    return kExitOk;
  }
  const SampleTiming timing = *TimingOf(first, interval);
  std::printf("download %lld: sample 1 at %s, one every %s", static_cast<long long>(d.Id),
              timing.SampleIso(1).c_str(), IntervalText(interval).c_str());
  if (const ModelInfo* model = FindModel(d.Model)) {
    const int held = SamplesInLines(*model, d.Lines);
    const int recorded = RecordedSamples(*model, held, timing, d.Started.Ms);
    std::printf("; %d of its %d samples recorded", recorded, held);
    if (recorded == 0 && held > 0)
      std::fprintf(stderr,
                   "dedizivi-cli archive set: warning: no sample is before the download began (%s): check the start\n",
                   InLocalZone(d.Started.Ms).Iso().c_str());
  }
  std::printf("\n");
  return kExitOk;
}

int Summary(const std::vector<std::string_view>& argv)
{
  const std::string command = " summary";
  constexpr OptionSpec kOptions[] = {{"--json", false, {}},     {"--csv", true, {}},      {"--decimal", true, {}},
                                     {"--base", true, {}},      {"--model", true, {}},    {"--constant", true, {}},
                                     {"--offset", true, {}}};
  ParsedArgs args;
  if (auto error = ParseArgs(argv, kOptions, args))
    return Usage(command, *error);
  const auto csvPath = args.Last("--csv");
  if (csvPath && args.Has("--json"))
    return Usage(command, "--json and --csv are two forms of one summary: give one");
  if (!csvPath && args.Has("--decimal"))
    return Usage(command, "--decimal shapes the CSV: give --csv FILE too");
  DecimalStyle decimal = DecimalStyle::Point;
  if (auto v = args.Last("--decimal")) {
    const auto style = ParseDecimalStyle(*v);
    if (!style)
      return Usage(command, "invalid --decimal '" + *v + "' (point or comma)");
    decimal = *style;
  }
  std::optional<Archive::Loaded> loaded;
  if (auto status = LoadDownload(command, args, kMaxStreamBytes, loaded))
    return *status;
  const ArchivedDownload& d = loaded->Entry;
  int modelIndex = -1;
  if (auto status = ModelToUse(command, args, d, modelIndex))
    return *status;
  const ModelInfo* model = FindModel(modelIndex);
  if (!model)
    return Usage(command, "download " + std::to_string(d.Id) + " has no model: give --model N (0 to 8)");
  std::optional<double> base;
  if (auto text = args.Last("--base")) {
    if (!IsTemperatureModel(model->Index))
      return Usage(command, "--base is for the temperature loggers (models 0, 1, 2, 3 and 8)");
    std::string number = *text;
    std::replace(number.begin(), number.end(), ',', '.');
    double value = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || r.ec != std::errc() || r.ptr != number.data() + number.size() || !std::isfinite(value))
      return Usage(command, "invalid --base '" + *text + "' (a temperature in °C, e.g. 10 or 4.5)");
    base = value;
  }
  const auto timing = TimingOf(d.FirstSample, d.IntervalSeconds);
  if (!timing)
    return Fail(command, "download " + std::to_string(d.Id) + " is not dated: set the time of its first sample " +
                           "and its interval with 'dedizivi-cli archive set " + std::to_string(d.Id) +
                           " --start TIME --interval D' (or in \"Descargas anteriores\")");

  OutputSet files;
  std::optional<std::size_t> csvOutput;
  if (csvPath) {
    csvOutput = files.AddOutput("--csv", *csvPath);
    if (auto error = files.Check())
      return Usage(command, *error);
  }
  if (loaded->TooLarge)
    return Fail(command, "download " + std::to_string(d.Id) + " holds " + std::to_string(loaded->StoredBytes) +
                           " bytes, more than any logger card: not a raw download");
  // As 'download' converted it: the samples that arrived whole.
  const DownloadConversion dc =
    ConvertDownload(model->Index, args.Last("--constant").value_or(d.Constant.value_or("")),
                    args.Last("--offset").value_or(d.Offset.value_or("0")), loaded->Raw,
                    EndedCut(d) ? LastLine::LeaveOutCut : LastLine::AsItStands);
  const Converted& c = dc.Result;
  if (dc.Failed())
    return Fail(command, "conversion stopped at sample " + std::to_string(c.Error->Sample()) + ": " +
                           c.Error->what());
  const int recorded = RecordedSamples(*model, c.Rows, *timing, d.Started.Ms);
  const std::vector<DaySummary> days = SummariseDays(*model, c.Grid, recorded, *timing, base);
  if (csvOutput) {
    files.SetContents(*csvOutput, SummaryCsv(*model, base.has_value(), days, decimal));
    if (auto failed = files.Commit())
      return Fail(command, *failed);
  } else if (args.Has("--json")) {
    std::fputs(SummaryJson(days).c_str(), stdout);
  } else {
    PrintSummary(*model, days);
  }
  if (recorded == 0)
    std::fprintf(stderr, "dedizivi-cli archive summary: %s\n",
                 NotRecordedText(*model, c.Rows, recorded, *timing, d, false).c_str());
  return kExitOk;
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
  if (what == "set")
    return Set(rest);
  if (what == "summary")
    return Summary(rest);
  if (what == "delete")
    return Delete(rest);
  if (what == "prune")
    return Prune(rest);
  if (what == "backup")
    return RunArchiveBackup(rest);
  return Usage("", "unknown subcommand '" + Printable(what) +
                     "' (list, export, set, summary, delete, prune or backup)");
}

} // namespace dz::cli
