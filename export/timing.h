#pragma once

// When each sample was taken. The loggers keep no clock: a download is dated
// by the time of its first sample and the interval set on the logger. Sample
// k is (k - 1) intervals of physical time after sample 1, whatever the clocks
// of the place did meanwhile; times are shown in the machine's time zone (TZ,
// else the system's), each with the UTC offset in force at that instant, so
// that a daylight-saving change neither repeats nor skips a sample's time.

#include "models.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dz {

// A moment and the UTC offset its wall time is written with.
struct Instant {
  std::int64_t Ms = 0; // since 1970-01-01T00:00:00Z
  int Offset = 0;      // seconds east of UTC
  // "2026-03-29T03:00:00+02:00"
  std::string Iso() const;
  // Its wall date as days since 1970-01-01.
  std::int64_t Day() const;
  bool operator==(const Instant&) const = default;
};

// The moment as the machine's time zone shows it.
Instant InLocalZone(std::int64_t ms);

enum class StartProblem {
  Syntax,      // not "YYYY-MM-DD[T ]HH:MM[:SS][Z|+HH:MM]", or out of range
  Nonexistent, // a local time skipped when the clocks were put forward
};

// A time of day written as ISO 8601: a date, "T" or a blank, hours and
// minutes, optionally seconds, then optionally "Z" or an offset (+02:00,
// +0200, +02). Without an offset it is local time in the machine's zone; a
// local time that happens twice (the clocks put back) is its first
// occurrence, and one that never happens is refused.
std::optional<Instant> ParseStart(std::string_view text, StartProblem* problem = nullptr);

// A wall time in the machine's zone (month 1-12); nothing for one that does
// not exist there. Of two occurrences, the first.
std::optional<Instant> LocalWallTime(int year, int month, int day, int hour, int minute, int second);

// The time of sample 1 and the interval between samples.
struct SampleTiming {
  Instant First;
  std::int64_t IntervalSeconds = 0;

  // Sample n, counted from 1.
  std::int64_t SampleMs(int sample) const { return First.Ms + (sample - 1) * IntervalSeconds * 1000; }
  // Its time in the machine's zone, ISO 8601 with offset.
  std::string SampleIso(int sample) const { return InLocalZone(SampleMs(sample)).Iso(); }
};

// A timing as the archive keeps it (ISO 8601 with offset, seconds); nothing
// when there is none or it is no time.
std::optional<SampleTiming> TimingOf(std::string_view firstSample, std::int64_t intervalSeconds);

// Samples per channel a card really holds: 500 on the two-channel logger,
// 1000 on the one-channel ones, 1170 on the seven-channel ones. The rows of
// a download past them (501 to 512, 1001 to 1024) are never readings.
int CardCapacity(const ModelInfo& model);

// Whole samples in a download of `lines` lines under a model, at most its rows.
int SamplesInLines(const ModelInfo& model, std::int64_t lines);

// The samples the logger can have taken: of the `held` samples of the
// download, at most the card's capacity, and none whose time is at or after
// the moment the download began.
int RecordedSamples(const ModelInfo& model, int held, const SampleTiming& timing, std::int64_t downloadStartMs);

// The interval settings of a model's logger, as its manual lists them,
// shortest first, in seconds. Empty for no model.
std::span<const int> SamplingPositions(int model);

// "16 s", "1 min", "1 h", "1 h 30 min".
std::string IntervalText(std::int64_t seconds);

} // namespace dz
