#pragma once

#include <array>
#include <string_view>

namespace dz {

constexpr int kModelCount = 9;
constexpr int kRadiationModel = 4;

// How one reading (value word) travels in the stream.
enum class WordSpelling {
  FourLines,      // models 0, 1, 4 to 8: four lines L0..L3
  FourCharGroups, // model 2: seven groups of four characters on one line
  SixCharGroups,  // model 3: seven groups of six characters on one line
};

// One row of the model table (stream side and grid side).
// Texts are UTF-8 and exact ("°", "ó", the quotes of model 2, the spaces of
// model 1, the trailing comma of model 8).
struct ModelInfo {
  int Index;                      // item index of ComboBox1
  std::string_view SelectorText;  // ComboBox1 item
  char Trigger;                   // '1' or '7', written right after opening
  int Columns;                    // data columns (channels incl. reference): 2, 7 or 1
  int Samples;                    // grid rows 1..Samples, also ProgressBar2 maximum
  WordSpelling Word;
  int LinesUsed;                  // lines 0..LinesUsed-1 of the buffer: 4096 or 1170
  int LineLength;                 // characters per seven-channel line (28 or 42); 0 otherwise
  int DownloadMaximum;            // ProgressBar1 maximum
  int ConversionMaximum;          // ProgressBar2 maximum (== Samples)
  std::string_view Title;         // Label7 caption
  std::array<std::string_view, 7> ColumnTitles; // row 0, columns 1..Columns
  int P;                          // FormatFixed significant digits
  int D;                          // FormatFixed decimals
  std::string_view Routine;       // conversion routine of TForm1
};

// Lines of a complete download: 4096 for the one- and two-channel models, 1171
// for the seven-channel ones (their 1170 sample lines and one more).
constexpr int CardLines(const ModelInfo& model)
{
  return model.Word == WordSpelling::FourLines ? model.LinesUsed : model.LinesUsed + 1;
}

// The model of a ComboBox1 index; nullptr for -1 or any index out of 0..8.
const ModelInfo* FindModel(int index);

// All nine, in index order.
const std::array<ModelInfo, kModelCount>& AllModels();

} // namespace dz
