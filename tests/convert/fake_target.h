#pragma once

#include "conversion.h"

#include <memory>
#include <string>
#include <vector>

// A ConversionTarget that records what the conversion did to it.
class FakeTarget final : public dz::ConversionTarget {
public:
  dz::CellGrid& Grid() override { return *grid; }
  void SetTitle(const std::string& t) override
  {
    title = t;
    log.push_back("title");
  }
  void ProgressReset(int maximum) override
  {
    progressMaximum = maximum;
    progress = 0;
    log.push_back("reset");
  }
  void ProgressStep() override { ++progress; }
  void HideRadiationPanel() override
  {
    ++hideCalls;
    log.push_back("hide");
  }
  std::string RadiationOffsetText() override
  {
    ++offsetReads;
    return offset;
  }
  std::string RadiationConstantText() override
  {
    ++constantReads;
    return constant;
  }

  std::unique_ptr<dz::CellGrid> grid = std::make_unique<dz::CellGrid>();
  std::string title = "(untouched)";
  int progressMaximum = -1;
  int progress = -1;
  int hideCalls = 0;
  int offsetReads = 0;
  int constantReads = 0;
  std::string offset = "0";
  std::string constant;
  std::vector<std::string> log;
};

// Lines joined with a line break after each.
inline std::string JoinLines(const std::vector<std::string>& lines, const std::string& eol = "\r\n")
{
  std::string s;
  for (const auto& l : lines)
    s += l + eol;
  return s;
}

// The four lines of a four-line word W >= 0 in its canonical spelling.
inline std::vector<std::string> WordLines(int w)
{
  const int r = w % 256;
  return {std::to_string(w / 256), std::to_string(r / 100), std::to_string(r / 10 % 10), std::to_string(r % 10)};
}
