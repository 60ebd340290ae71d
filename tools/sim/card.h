#pragma once

// The memory card of a simulated Vexa-Logger: the text stream that the logger
// sends on a download, built from value words the way the loggers spell them.
// Kept apart from the pseudo-terminal code so tests and benchmarks can build
// the very same cards the simulator plays.

#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

enum class Eol { CrLf, Lf, Cr };

constexpr int kModelCount = 9;

const char* EolText(Eol eol);

// Lines of a full card: 4096 for the one- and two-channel models, 1171 for the
// seven-channel models 2 and 3 (1170 samples and a closing line).
int CardLineCount(int model);

// Value words of a full card in stream order (per sample: channel 1, channel 2;
// or reference then channels 1 to 6): WordCount(model) of them.
int WordCount(int model);
std::vector<int> GenerateWords(int model, uint32_t seed);

// Largest word the model's loggers record (and the layout can spell).
int MaxWord(int model);

// Spells the words of a full card in the model's layout. Missing words are
// written as 0; extra ones are ignored. Words are clamped to what the layout
// can spell.
std::string EncodeCard(int model, const std::vector<int>& words, Eol eol);

// A full card of realistic readings, the same bytes for the same arguments.
std::string GenerateCard(int model, uint32_t seed, Eol eol);

// What a logger sends after an erase: the model's layout, every value word 0.
std::string ErasedCard(int model, Eol eol);

// The trigger that starts a download of the model: '1' or '7'.
char ModelTrigger(int model);

} // namespace vexa
