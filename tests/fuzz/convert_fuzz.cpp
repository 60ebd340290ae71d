// Any bytes a cable can deliver, converted under any model (and under no
// model), with any radiation inputs: the conversion either fills the grid or
// stops with one of its messages at a sample, and in both cases touches only
// the cells it owns. The line buffer, fed in chunks of varying size, must
// split lines exactly as a one-shot split of the whole text does.

#include "fuzzsupport.h"

#include "conversion.h"
#include "errors.h"
#include "numberformat.h"

#include <string>
#include <vector>

namespace {

const std::string kUntouched = "\x01";

struct Target : dz::ConversionTarget {
  dz::CellGrid grid;
  std::string title;
  int resets = 0;
  int maximum = -1;
  int steps = 0;
  int hides = 0;
  std::string offset;
  std::string constant;

  dz::CellGrid& Grid() override { return grid; }
  void SetTitle(const std::string& t) override { title = t; }
  void ProgressReset(int m) override
  {
    ++resets;
    maximum = m;
    steps = 0;
  }
  void ProgressStep() override { ++steps; }
  void HideRadiationPanel() override { ++hides; }
  std::string RadiationOffsetText() override { return offset; }
  std::string RadiationConstantText() override { return constant; }
};

// The lines of a text split at CR, LF and CR LF, written from the description
// of the buffer, not from its code.
std::vector<std::string> SplitLines(const std::string& text)
{
  std::vector<std::string> lines;
  std::string current;
  bool open = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      open = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
    } else {
      current += c;
      open = true;
    }
  }
  if (open)
    lines.push_back(current);
  return lines;
}

// A cell text as FormatFixed may make it with D decimals and separator sep.
bool LooksLikeCell(const std::string& s, int D, char sep)
{
  std::size_t i = 0;
  if (i < s.size() && s[i] == '-')
    ++i;
  const std::size_t e = s.find('E');
  const auto digits = [&](std::size_t from, std::size_t to) {
    if (from >= to)
      return false;
    for (std::size_t k = from; k < to; ++k)
      if (s[k] < '0' || s[k] > '9')
        return false;
    return true;
  };
  if (e != std::string::npos) {
    // d[,ddd]E[-]n
    std::size_t x = e + 1;
    if (x < s.size() && s[x] == '-')
      ++x;
    if (!digits(x, s.size()))
      return false;
    const std::size_t comma = s.find(sep, i);
    if (comma == std::string::npos || comma > e)
      return digits(i, e) && e - i == 1;
    return comma == i + 1 && digits(i, comma) && digits(comma + 1, e);
  }
  if (D == 0)
    return digits(i, s.size());
  const std::size_t comma = s.find(sep, i);
  return comma != std::string::npos && digits(i, comma) && digits(comma + 1, s.size()) &&
         s.size() - comma - 1 == static_cast<std::size_t>(D);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  dzfuzz::Input in(data, size);
  const int model = in.Byte() % 10 - 1; // -1 (no selection) to 8
  const std::uint8_t flags = in.Byte();
  const char sep = (flags & 1) ? '.' : ',';
  dz::ProgramNumberFormat().DecimalSeparator = sep;

  Target target;
  target.offset = in.Text(12);
  target.constant = in.Text(24);
  const std::string stream = in.Rest();

  // The buffer is fed as the receive events feed it: in chunks.
  dz::LineBuffer buffer;
  std::uint32_t seed = flags;
  for (std::size_t at = 0; at < stream.size();) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t chunk = 1 + (seed >> 16) % ((flags >> 1) + 1);
    buffer.Append(std::string_view(stream).substr(at, chunk));
    at += chunk;
  }
  DZ_CHECK(buffer.Text() == stream, "the buffer lost or changed bytes");
  const std::vector<std::string> lines = SplitLines(stream);
  DZ_CHECK(buffer.LineCount() == static_cast<int>(lines.size()),
           std::to_string(buffer.LineCount()) + " lines, expected " + std::to_string(lines.size()));
  for (std::size_t n = 0; n < lines.size(); ++n)
    DZ_CHECK(buffer.Line(static_cast<int>(n)) == lines[n], "line " + std::to_string(n) + " is " +
                                                               dzfuzz::Show(buffer.Line(static_cast<int>(n))) +
                                                               ", expected " + dzfuzz::Show(lines[n]));
  DZ_CHECK(buffer.Line(static_cast<int>(lines.size())).empty(), "a line past the end is not empty");
  DZ_CHECK(buffer.Line(-1).empty(), "line -1 is not empty");

  for (int c = 0; c < dz::CellGrid::kColumns; ++c)
    for (int r = 0; r < dz::CellGrid::kRows; ++r)
      target.grid.SetCell(c, r, kUntouched);

  int stoppedAt = 0;
  std::string message;
  try {
    dz::RunConversion(model, buffer, target);
  } catch (const dz::ConvertError& e) {
    stoppedAt = e.Sample();
    message = e.what();
  }
  // Anything else thrown escapes and is reported as a crash.

  const dz::ModelInfo* info = dz::FindModel(model);
  if (info == nullptr) {
    DZ_CHECK(target.resets == 0 && target.title.empty() && target.hides == 0 && stoppedAt == 0,
             "no model selected, yet the conversion did something");
    for (int c = 0; c < dz::CellGrid::kColumns; ++c)
      for (int r = 0; r < dz::CellGrid::kRows; ++r)
        DZ_CHECK(target.grid.Cell(c, r) == kUntouched, "no model selected, yet a cell changed");
    return 0;
  }

  const int N = info->Samples;
  DZ_CHECK(target.title == info->Title, target.title);
  DZ_CHECK(target.resets == 1 && target.maximum == N, "progress bar not reset to the row count once");
  DZ_CHECK(target.hides == (model == dz::kRadiationModel ? 0 : 1), "radiation panel handling");
  if (!message.empty()) {
    DZ_CHECK(stoppedAt >= 1 && stoppedAt <= N, "stopped at sample " + std::to_string(stoppedAt) + ": " + message);
    DZ_CHECK(target.steps == stoppedAt - 1, "progress " + std::to_string(target.steps) + " after stopping at " +
                                                std::to_string(stoppedAt));
    // The pieces the failing sample reads; the message names one of them.
    std::vector<std::string> pieces;
    if (info->Word == dz::WordSpelling::FourLines) {
      const int perSample = info->Columns * 4;
      for (int k = 0; k < perSample; ++k)
        pieces.emplace_back(buffer.Line((stoppedAt - 1) * perSample + k));
    } else {
      for (char c : buffer.Line(stoppedAt - 1))
        pieces.emplace_back(1, c);
    }
    bool known = message.rfind("Line ", 0) == 0 || message == dz::kDivisionByZeroMessage ||
                 message == dz::kInvalidOperationMessage || message == dz::kOverflowMessage;
    for (const std::string& piece : pieces)
      known = known || message == dz::NotAnIntegerMessage(piece);
    if (model == dz::kRadiationModel)
      known = known || message == dz::NotAnIntegerMessage(target.offset) ||
              message == dz::NotAFloatMessage(target.constant);
    DZ_CHECK(known, "message " + dzfuzz::Show(message) + " names nothing sample " + std::to_string(stoppedAt) +
                        " reads");
    if (message.rfind("Line ", 0) == 0)
      DZ_CHECK(info->Word != dz::WordSpelling::FourLines, message);
  } else {
    DZ_CHECK(target.steps == N, "a full conversion stepped " + std::to_string(target.steps) + " times");
  }

  const int finished = message.empty() ? N : stoppedAt - 1;
  for (int c = 1; c <= info->Columns; ++c)
    DZ_CHECK(target.grid.Cell(c, 0) == info->ColumnTitles[static_cast<std::size_t>(c - 1)], "column title");
  for (int r = 1; r <= N; ++r)
    DZ_CHECK(target.grid.Cell(0, r) == std::to_string(r), "sample number of row " + std::to_string(r));
  DZ_CHECK(target.grid.Cell(0, 0) == kUntouched, "cell (0, 0) was written");
  for (int r = 1; r < dz::CellGrid::kRows; ++r) {
    for (int c = 1; c < dz::CellGrid::kColumns; ++c) {
      const std::string& cell = target.grid.Cell(c, r);
      const bool owned = c <= info->Columns && r <= finished;
      if (!owned) {
        DZ_CHECK(cell == kUntouched, "cell (" + std::to_string(c) + ", " + std::to_string(r) + ") is not the model's");
        continue;
      }
      DZ_CHECK(LooksLikeCell(cell, info->D, sep),
               "cell (" + std::to_string(c) + ", " + std::to_string(r) + ") reads " + dzfuzz::Show(cell));
    }
  }
  for (int r = N + 1; r < dz::CellGrid::kRows; ++r)
    DZ_CHECK(target.grid.Cell(0, r) == kUntouched, "sample number beyond the model's rows");
  return 0;
}
