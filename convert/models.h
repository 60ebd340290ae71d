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

// Bounds on a stream that can still be a card, from the table above (checked
// against it in models.cpp). What goes beyond them is line noise, a wrong port
// or a wrong rate, and is refused before it can fill memory or a disk.
//
// The longest line any model sends: a seven-channel LM335 record of 42
// characters. A four-line piece is shorter: at most a signed 32-bit number.
constexpr int kLongestValidLine = 42;
constexpr int kLongestValidPiece = 11; // "-2147483648"
// A line longer than this can be no line of any card: six times the longest
// valid one, so that no conceivable logger line comes near it.
constexpr int kMaxLineLength = 256;
// The largest full card: 4096 lines of the longest piece and CR LF (53 248
// bytes; the seven-channel cards, 1171 records of 44, are smaller).
constexpr int kLargestCardBytes = 4096 * (kLongestValidPiece + 2);
// A stream or raw file larger than this is no card: about twenty times the
// largest one, so that a card with stray extra lines still fits with room.
constexpr int kMaxStreamBytes = 1 << 20;

// The model of a ComboBox1 index; nullptr for -1 or any index out of 0..8.
const ModelInfo* FindModel(int index);

// All nine, in index order.
const std::array<ModelInfo, kModelCount>& AllModels();

} // namespace dz
