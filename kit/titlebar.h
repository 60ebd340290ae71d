#pragma once

#include <QWidget>

class QToolButton;

namespace dz {

// The title bar of a fixed-size window under Wayland. Qt's own title bar
// there always offers maximise, and a compositor that takes that request
// sends the window a size it cannot take; weston ends such a program with a
// protocol error. So fixed-size windows go without Qt's title bar and carry
// this one: the caption, minimise where the window asks for it, close; a
// drag on the bar moves the window. A window that may be resized but asks
// for no maximise has it too, and is resized from its side and bottom edges.
class TitleBar : public QWidget {
public:
  static constexpr int kHeight = 26;

  explicit TitleBar(QWidget* window);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  friend TitleBar* AddOwnTitleBar(QWidget* window);
  void LayOut();
  Qt::Edges EdgesAt(QPoint pos) const;

  bool m_resizable = false;
  QToolButton* m_minimise = nullptr;
  QToolButton* m_close = nullptr;
};

// Gives a fixed-size top-level window (min = max, or a message box, which
// fixes its size as it shows), or one that asks for a close button only, a
// TitleBar instead of Qt's title bar: the contents move down by the bar's
// height, the size grows by as much. Call before the window is first made
// visible on screen. Returns the bar, or nullptr for any other window or
// one that has a bar already.
TitleBar* AddOwnTitleBar(QWidget* window);

// Under Wayland, every such window gets its TitleBar as it is first
// shown (message boxes and dialogs included). Elsewhere nothing happens.
void UseOwnTitleBarsOnWayland();

} // namespace dz
