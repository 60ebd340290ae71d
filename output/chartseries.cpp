#include "chartseries.h"

#include "chartform.h"

#include <array>

namespace dz {

namespace {

const std::array<QColor, kChartSeriesCount> kSeriesColours{
  QColor(255, 0, 0), QColor(0, 128, 0), QColor(255, 255, 0), QColor(0, 0, 255),
  QColor(255, 0, 255), QColor(64, 0, 64), QColor(128, 255, 0)};

const std::array<const char*, kChartSeriesCount> kSeriesTitles{
  "Ref.", "Canal 1", "Canal 2", "Canal 3", "Canal 4", "Canal 5", "Canal 6"};

std::size_t At(int n)
{
  return static_cast<std::size_t>(n < 1 ? 0 : n > kChartSeriesCount ? kChartSeriesCount - 1 : n - 1);
}

} // namespace

QColor SeriesColour(int n)
{
  return kSeriesColours[At(n)];
}

QString SeriesInitialTitle(int n)
{
  return QString::fromUtf8(kSeriesTitles[At(n)]);
}

QString ChannelName(int model, int n)
{
  // The set-up titles series 1 and 2; the others keep their first titles.
  if (const ChartModel* m = FindChartModel(model)) {
    if (n == 1)
      return QString::fromUtf8(m->Series1Title);
    if (n == 2 && m->Series2Title != nullptr)
      return QString::fromUtf8(m->Series2Title);
  }
  return SeriesInitialTitle(n);
}

} // namespace dz
