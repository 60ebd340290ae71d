#include "conversion.h"

#include "errors.h"
#include "formatfixed.h"
#include "numberformat.h"
#include "textsyntax.h"

namespace dz {

namespace {

// The four-line word that starts at buffer line `first` (counted from 0). A
// line past the end reads as empty and so fails as "'' is not ...".
int32_t ReadFourLineWord(const LineBuffer& buffer, int first)
{
  const int32_t l0 = StrToInt(buffer.Line(first));
  const int32_t l1 = StrToInt(buffer.Line(first + 1));
  const int32_t l2 = StrToInt(buffer.Line(first + 2));
  const int32_t l3 = StrToInt(buffer.Line(first + 3));
  return FourLineWord(l0, l1, l2, l3);
}

// The seven words of a seven-channel sample n, from line n - 1, each
// character parsed when it is reached. A character position beyond the end
// of the line is never read: the sample stops there with our own message.
void ReadGroupWords(const ModelInfo& model, const LineBuffer& buffer, int n, int32_t (&words)[7])
{
  const int lineIndex = n - 1;
  const std::string_view line = buffer.Line(lineIndex);
  const int groupLength = model.Word == WordSpelling::FourCharGroups ? 4 : 6;
  const auto piece = [&](int position) -> int32_t { // position counted from 0
    if (position >= static_cast<int>(line.size())) {
      if (lineIndex >= buffer.LineCount())
        throw ConvertError("Line " + std::to_string(n) + " is missing for sample " + std::to_string(n) +
                           " (the stream has " + std::to_string(buffer.LineCount()) + " lines)");
      throw ConvertError("Line " + std::to_string(n) + " is too short for sample " + std::to_string(n) + " (" +
                         std::to_string(model.LineLength) + " characters needed, " +
                         std::to_string(line.size()) + " found)");
    }
    return StrToInt(line.substr(static_cast<std::size_t>(position), 1));
  };
  for (int g = 0; g < 7; ++g) {
    int32_t c[6];
    for (int i = 0; i < groupLength; ++i)
      c[i] = piece(g * groupLength + i);
    words[g] = groupLength == 4 ? FourCharWord(c[0], c[1], c[2], c[3])
                                : SixCharWord(c[0], c[1], c[2], c[3], c[4], c[5]);
  }
}

} // namespace

int ComputeSample(const ModelInfo& model, const LineBuffer& buffer, int n, ConversionTarget& target,
                  char decimalSeparator, float (&values)[7])
{
  switch (model.Index) {
  case 0:
  case 1: {
    const int32_t w1 = ReadFourLineWord(buffer, 8 * (n - 1));
    const int32_t w2 = ReadFourLineWord(buffer, 8 * (n - 1) + 4);
    const auto formula = model.Index == 0 ? Lm35Celsius : NtcCelsius;
    values[0] = formula(w1);
    values[1] = formula(w2);
    return 2;
  }
  case 2: {
    int32_t words[7];
    ReadGroupWords(model, buffer, n, words);
    const float reference = ThermocoupleReference(words[0]);
    values[0] = reference;
    for (int k = 1; k < 7; ++k)
      values[k] = ThermocoupleChannel(words[k], reference);
    return 7;
  }
  case 3: {
    int32_t words[7];
    ReadGroupWords(model, buffer, n, words);
    for (int k = 0; k < 7; ++k)
      values[k] = Lm335Celsius(words[k]);
    return 7;
  }
  case kRadiationModel: {
    // This order decides which failure is reported: the four lines, the
    // offset, the constant, the division.
    const int32_t w = ReadFourLineWord(buffer, 4 * (n - 1));
    const int32_t offset = StrToInt(target.RadiationOffsetText());
    const long double constant = StrToFloat(target.RadiationConstantText(), decimalSeparator);
    values[0] = RadiationPar(w, offset, constant);
    return 1;
  }
  case 5:
    values[0] = HumidityV1(ReadFourLineWord(buffer, 4 * (n - 1)));
    return 1;
  case 6:
    values[0] = HumidityV2(ReadFourLineWord(buffer, 4 * (n - 1)));
    return 1;
  case 7:
    values[0] = Millivolts(ReadFourLineWord(buffer, 4 * (n - 1)));
    return 1;
  case 8:
    values[0] = Lm35Celsius(ReadFourLineWord(buffer, 4 * (n - 1)));
    return 1;
  default:
    return 0;
  }
}

void RunConversion(int model, const LineBuffer& buffer, ConversionTarget& target)
{
  const ModelInfo* info = FindModel(model);
  if (info == nullptr)
    return;
  const char separator = ProgramNumberFormat().DecimalSeparator;

  if (info->Index != kRadiationModel)
    target.HideRadiationPanel();
  target.SetTitle(std::string(info->Title));
  target.ProgressReset(info->ConversionMaximum);
  CellGrid& grid = target.Grid();
  for (int c = 0; c < info->Columns; ++c)
    grid.SetCell(c + 1, 0, std::string(info->ColumnTitles[static_cast<std::size_t>(c)]));
  for (int n = 1; n <= info->Samples; ++n)
    grid.SetCell(0, n, std::to_string(n));

  for (int n = 1; n <= info->Samples; ++n) {
    float values[7];
    int count = 0;
    try {
      count = ComputeSample(*info, buffer, n, target, separator, values);
    } catch (const ConvertError& e) {
      throw ConvertError(e.what(), n);
    }
    // Only now, with every word of the sample read, are its cells written.
    for (int c = 0; c < count; ++c)
      grid.SetCell(c + 1, n, FormatFixed(values[c], info->P, info->D, separator));
    target.ProgressStep();
  }
}

} // namespace dz
