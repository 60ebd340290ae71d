#pragma once

#include <QStringList>

// The main window's pictures, drawn by dz-artgen and compiled into dz_art,
// each at twice the size it is shown at (given here), for screens at 200 %.
namespace dz::art {

inline constexpr const char* kBackground = ":/art/background.jpg";      // 639x412 landscape
inline constexpr const char* kBanner = ":/art/banner.png";              // 201x36
inline constexpr const char* kOpen = ":/art/open.png";                  // 24x24
inline constexpr const char* kLimpiar = ":/art/limpiar.png";            // 24x24
inline constexpr const char* kGrafico = ":/art/grafico.png";            // 24x24
inline constexpr const char* kProgramIcon = ":/art/dedizivi.png";       // 256x256
inline constexpr const char* kEraser = ":/art/eraser.png";              // 105x105
inline constexpr const char* kEraserCrossed = ":/art/eraser-crossed.png"; // 105x105

// Every resource above, for checks that they all load.
QStringList AllResources();

} // namespace dz::art
