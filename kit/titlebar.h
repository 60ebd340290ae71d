#pragma once

#include <QWidget>

class QToolButton;

namespace dz {

// The title bar of a fixed-size window under Wayland. Qt's own title bar
// there always offers maximise, and a compositor that takes that request
// sends the window a size it cannot take; weston ends such a program with a
// protocol error. So fixed-size windows go without Qt's title bar and carry
// this one: the caption, minimise where the window asks for it, close; a
// drag on the bar moves the window.
class TitleBar : public QWidget {
public:
  static constexpr int kHeight = 26;

  explicit TitleBar(QWidget* window);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void LayOut();

  QToolButton* m_minimise = nullptr;
  QToolButton* m_close = nullptr;
};

// Gives a fixed-size top-level window (min = max, or a message box, which
// fixes its size as it shows) a TitleBar instead of Qt's title bar: the
// contents move down by the bar's height, the fixed size grows by as much.
// Call before the window is first made visible on screen. Returns the bar,
// or nullptr for a window that is not of fixed size or has one already.
TitleBar* AddOwnTitleBar(QWidget* window);

// Under Wayland, every fixed-size window gets its TitleBar as it is first
// shown (message boxes and dialogs included). Elsewhere nothing happens.
void UseOwnTitleBarsOnWayland();

} // namespace dz
