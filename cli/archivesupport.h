#pragma once

// What the archive command's subcommands share: the text it prints of the
// archive's rows, which may hold anything, the moments it is given, what it
// says of the archive itself; and the backup subcommand.

#include "archive.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dz::cli {

// `text` fit for a terminal: control bytes (C0, DEL, C1) and bytes that are
// no UTF-8 written as \n, \r, \t, \e or \xHH, and "\" as "\\", so that no
// byte of a row reaches the terminal as a command.
std::string Printable(std::string_view text);

// The same for JSON already escaped by a JSON writer, which leaves DEL and
// the C1 controls raw: those become \u escapes.
std::string JsonForTerminal(std::string_view json);

// A moment as milliseconds since 1970: a date (2024-05-01, that day's local
// midnight) or an ISO 8601 date and time (2024-05-01T08:00, seconds and a
// fraction optional) in local time, or with "Z" or an offset of at most
// 14 hours (+02:00). Nothing for anything else, a time the local clock
// never showed included.
std::optional<std::int64_t> ParseMoment(std::string_view text);

// Runs `use` on the user's archive (see UseArchive), and says on standard
// error what the archive did by itself (a damaged file set aside). The
// archive's error, if it failed.
std::optional<std::string> UseUsersArchive(std::string_view command, const std::function<void(Archive*)>& use);

// Why an archived download ended before its card was full, in a few words.
std::string ShortEndText(const ArchivedDownload& d);

// dedizivi-cli archive backup FILE.
int RunArchiveBackup(const std::vector<std::string_view>& argv);

} // namespace dz::cli
