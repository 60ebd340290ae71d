#pragma once

#include <QFont>
#include <QWidget>

namespace dz {

// Shows a window of the program without blocking: visible, raised and active.
// A window already visible is only brought to the front; there is never a second one.
void ShowForm(QWidget* form);

// Fonts named after the original ones, mapped to metric-compatible free fonts
// ("Arial" and "MS Sans Serif" both to Liberation Sans) so that layouts hold.
QFont AppFont(const QString& family, int pixelSize, bool bold = false);

// Pixel-exact geometry as the original layout gives it.
void Place(QWidget* w, int left, int top, int width, int height);

} // namespace dz

namespace dz {
// Centres a top-level window on the screen it will show on.
void CentreOnScreen(QWidget* w);
} // namespace dz
