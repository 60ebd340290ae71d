#pragma once

#include "cellgrid.h"
#include "formulas.h"
#include "linebuffer.h"
#include "models.h"

#include <string>

namespace dz {

// What a conversion writes and reads besides the buffer: the main window binds
// it to StringGrid1, Label7, ProgressBar2, OCULTADATARAD, SpinEdit1 and Edit1;
// the command-line converter and the tests to plain objects.
class ConversionTarget {
public:
  virtual ~ConversionTarget() = default;
  virtual CellGrid& Grid() = 0;
  virtual void SetTitle(const std::string& utf8Title) = 0; // Label7
  virtual void ProgressReset(int maximum) = 0;             // ProgressBar2: position 0, maximum
  virtual void ProgressStep() = 0;                         // ProgressBar2 step once per sample
  virtual void HideRadiationPanel() = 0;                   // OCULTADATARAD (every model but 4)
  virtual std::string RadiationOffsetText() = 0;           // SpinEdit1 text, read afresh per sample
  virtual std::string RadiationConstantText() = 0;         // Edit1 text, read afresh per sample
};

// The conversion routine of a model (the common steps): panel, title,
// progress reset, column titles, sample numbers, then sample by sample: read
// and parse the pieces in stream order, compute, write the cells, step.
//
// Model -1 or out of range: does nothing at all.
// A failure throws ConvertError with the user-visible message and
// Sample() set to the sample where it stopped; everything written before it
// stays (titles, all sample numbers, the cells of earlier samples) and the
// progress bar stands at the number of finished samples. Seven-channel lines
// that are missing or too short stop with a message of ours naming the line
// (counted from 1) and the sample, e.g.
//   "Line 12 is too short for sample 12 (28 characters needed, 20 found)"
//   "Line 12 is missing for sample 12 (the stream has 11 lines)".
// The decimal separator of cells and of the radiation constant is
// ProgramNumberFormat().DecimalSeparator as it stands when the call starts.
void RunConversion(int model, const LineBuffer& buffer, ConversionTarget& target);

// The values of sample n (1-based) of a model, in column order, read from the
// buffer as RunConversion reads them (target gives the radiation fields).
// Returns the number of values (== model.Columns). Throws ConvertError with
// Sample() 0 on failure; RunConversion adds the sample number.
int ComputeSample(const ModelInfo& model, const LineBuffer& buffer, int n, ConversionTarget& target,
                  char decimalSeparator, float (&values)[7]);

} // namespace dz
