#include "streamconvert.h"

#include "conversion.h"
#include "linebuffer.h"
#include "models.h"

#include <algorithm>

namespace dz {

namespace {

// Binds the conversion loop to an empty grid and the two radiation texts.
class StreamTarget final : public ConversionTarget {
public:
  StreamTarget(CellGrid& grid, std::string offset, std::string constant)
    : m_grid(grid), m_offset(std::move(offset)), m_constant(std::move(constant))
  {
  }
  CellGrid& Grid() override { return m_grid; }
  void SetTitle(const std::string&) override {}
  void ProgressReset(int) override {}
  void ProgressStep() override {}
  void HideRadiationPanel() override {}
  std::string RadiationOffsetText() override { return m_offset; }
  std::string RadiationConstantText() override { return m_constant; }

private:
  CellGrid& m_grid;
  std::string m_offset;
  std::string m_constant;
};

} // namespace

Converted ConvertStream(int model, const std::string& constant, const std::string& offset,
                        std::string_view received, LastLine last)
{
  const std::string_view whole = WholeLines(received);
  LineBuffer buffer;
  buffer.Append(last == LastLine::LeaveOutCut ? whole : received);

  Converted result;
  const ModelInfo* info = FindModel(model);
  // The open line's index is the number of whole lines before it.
  if (whole.size() < received.size() && info)
    result.EndsInsideLine = buffer.FinishedLineCount() < info->LinesUsed;
  StreamTarget target(result.Grid, offset, constant);
  try {
    RunConversion(model, buffer, target);
    result.Rows = info ? info->Samples : 0;
  } catch (const ConvertError& e) {
    result.Error = e;
    result.Rows = e.Sample() > 0 ? e.Sample() - 1 : 0;
  }
  return result;
}

DownloadConversion ConvertDownload(int model, const std::string& constant, const std::string& offset,
                                   std::string_view received, LastLine last)
{
  DownloadConversion d;
  d.Result = ConvertStream(model, constant, offset, received, last);
  if (const ModelInfo* info = FindModel(model)) {
    LineBuffer lines;
    lines.Append(received);
    const int linesPerSample = info->LinesUsed / info->Samples;
    d.Samples = info->Samples;
    d.WholeSamples = std::min(info->Samples, lines.FinishedLineCount() / linesPerSample);
  }
  return d;
}

} // namespace dz
