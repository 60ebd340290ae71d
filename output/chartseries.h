#pragma once

// The chart's seven series as the chart window draws them: their colours,
// the titles they start with, and the name each model gives its channels.
// Shared by the chart window and the preview of "Descargas anteriores".

#include <QColor>
#include <QString>

namespace dz {

inline constexpr int kChartSeriesCount = 7;

// Series n, 1 to 7.
QColor SeriesColour(int n);
QString SeriesInitialTitle(int n);

// The legend name of grid column n (1 to 7) under a model, as the chart
// window titles its series: "Canal 1", "Ref.", "PAR", "mV"...
QString ChannelName(int model, int n);

} // namespace dz
