#include "models.h"

namespace dz {

namespace {

constexpr std::array<std::string_view, 7> kTwoChannelTitles{"CANAL1", "CANAL2"};
constexpr std::array<std::string_view, 7> kSevenChannelTitles{
  "REF", "CANAL1", "CANAL2", "CANAL3", "CANAL4", "CANAL5", "CANAL6"};
constexpr std::array<std::string_view, 7> kOneChannelTitles{"CANAL1"};

constexpr std::array<ModelInfo, kModelCount> kModels{{
  {0, "2 canales, temperatura, LM35", '1', 2, 512, WordSpelling::FourLines, 4096, 0, 8196, 512,
   "2 CANALES DE TEMPERATURA SENSORES LM35 EN \u00b0C, 512 DATOS POR CANAL", kTwoChannelTitles, 4, 1,
   "DOSCANALESLM35"},
  {1, "2 canales, temperatura NTC", '1', 2, 512, WordSpelling::FourLines, 4096, 0, 5120, 512,
   "CH1  CH2   SENSORES NTC EN \u00b0C", kTwoChannelTitles, 4, 1, "DOSCANALESNTC"},
  {2, "7 canales temperatura, termocupla 'J'", '7', 7, 1170, WordSpelling::FourCharGroups, 1170, 28,
   17900, 1170, "7 CANALES TERMOCUPLA TIPO \"J\" EN \u00b0C", kSevenChannelTitles, 3, 1,
   "SIETECANALESTC"},
  {3, "7 canales temperatura, LM335", '7', 7, 1170, WordSpelling::SixCharGroups, 1170, 42, 17900,
   1170, "7 CANALES LM35Z EN \u00b0C", kSevenChannelTitles, 3, 1, "SIETECANALESLM35"},
  {4, "1 canal de radiaci\u00f3n PAR", '1', 1, 1024, WordSpelling::FourLines, 4096, 0, 5120, 1024,
   "RADIACION PAR EN uMOL S-1 M-2", kOneChannelTitles, 4, 1, "UNCANALRAD"},
  {5, "1 canal de humedad relativa V 1/1", '1', 1, 1024, WordSpelling::FourLines, 4096, 0, 5120, 1024,
   "HUMEDAD RELATIVA EN \u00b0HR", kOneChannelTitles, 4, 1, "UNCANALHR1"},
  {6, "1 Canal de humedad relativa V 2/2", '1', 1, 1024, WordSpelling::FourLines, 4096, 0, 5120, 1024,
   "HUMEDAD RELATIVA EN \u00b0HR", kOneChannelTitles, 4, 1, "UNCANALHR2"},
  {7, "1 canal, milivoltios.", '1', 1, 1024, WordSpelling::FourLines, 4096, 0, 5120, 1024,
   "1CH MILIVOLTIOS", kOneChannelTitles, 4, 0, "UNCANALMV"},
  {8, "1 canal, temperatura, LM35", '1', 1, 1024, WordSpelling::FourLines, 4096, 0, 5120, 1024,
   "1 CANAL DE TEMPERATURA SENSOR LM35 EN \u00b0C, 1024 DATOS,", kOneChannelTitles, 4, 1,
   "UNCANALLM35"},
}};

constexpr bool BoundsHoldEveryModel()
{
  for (const ModelInfo& m : kModels) {
    const int line = m.Word == WordSpelling::FourLines ? kLongestValidPiece : m.LineLength;
    if (line > kLongestValidLine || CardLines(m) * (line + 2) > kLargestCardBytes)
      return false;
  }
  return kMaxLineLength >= 6 * kLongestValidLine && kMaxStreamBytes >= 16 * kLargestCardBytes;
}
static_assert(BoundsHoldEveryModel(), "the stream bounds of models.h no longer cover the model table");

} // namespace

const ModelInfo* FindModel(int index)
{
  if (index < 0 || index >= kModelCount)
    return nullptr;
  return &kModels[static_cast<std::size_t>(index)];
}

const std::array<ModelInfo, kModelCount>& AllModels() { return kModels; }

} // namespace dz
