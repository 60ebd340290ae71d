#pragma once

#include <QFont>
#include <QWidget>

#include <functional>

class QTableView;

namespace dz {

// Shows a window of the program without blocking: visible, raised and active.
// A window already visible is only brought to the front; there is never a second one.
// Under Wayland the compositor places windows and decides about focus: a
// window open behind another is shown anew, which brings it to the front.
void ShowForm(QWidget* form);

// Runs `then` once `window` is the active window: at once where it is, or
// where the window system activates windows as asked (X11); under Wayland,
// on its activation by the compositor, or after a short wait without one.
// What a window does as it becomes active then comes before `then`, not
// after it.
void WhenActive(QWidget* window, std::function<void()> then);

// Brings a window that is open to the front where it stands; unlike
// ShowForm it never maps the window anew, so under Wayland it keeps its
// place (a minimised one is shown again as ShowForm does).
void BringToFront(QWidget* form);

// Fonts named after the original ones, mapped to metric-compatible free fonts
// ("Arial" and "MS Sans Serif" both to Liberation Sans) so that layouts hold.
QFont AppFont(const QString& family, int pixelSize, bool bold = false);

// Pixel-exact geometry as the original layout gives it.
void Place(QWidget* w, int left, int top, int width, int height);

// Where the program's save dialogs open: the folder of the last file saved,
// else the user's documents folder, else the home folder; never the folder
// the program happens to run in.
QString SaveFolder();
void RememberSaveFolder(const QString& savedFile);
// A name in SaveFolder() for a new file: `stem.suffix`, or `stem-2.suffix`
// and on when that exists already, so that no file is offered for replacing.
QString NewFileName(const QString& stem, const QString& suffix);

// Keeps every row of a table, and its header, a whole number of screen
// pixels high at any scale (150 % makes 19 pixels 28.5): rows of one height,
// their numbers in line with their cells. At whole scales nothing changes.
void KeepRowsWhole(QTableView* view);

// Whether the program runs as a Wayland client.
bool OnWayland();

// The part of the screen a window is centred in: the work area (without
// panels) or the whole desktop.
enum class ScreenArea { WorkArea, Desktop };

// Centres a top-level window on the screen it will show on. Under Wayland
// placement is the compositor's: nothing happens.
void CentreOnScreen(QWidget* w, ScreenArea area = ScreenArea::WorkArea);

// A window of fixed size: a title, a system menu and a close button, a
// minimise button when asked, never a maximise button. The caller fixes the
// size (setFixedSize, or a layout with QLayout::SetFixedSize).
void SetFixedFrame(QWidget* w, bool minimiseButton);

} // namespace dz
