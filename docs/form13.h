#pragma once

#include <QLabel>
#include <QToolButton>
#include <QWidget>
#include <stdexcept>

namespace dz::pictures {

// A picture file that is missing or cannot be opened: "Cannot open file NAME".
class EFOpenError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A picture file whose contents do not decode: "Bitmap image is not valid".
class EInvalidGraphic : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

} // namespace dz::pictures

// "Aspecto de los equipos": picture buttons at the left; moving the pointer
// over one shows that item's picture file, clicking opens its manual or note.
class TForm13 : public QWidget {
  Q_OBJECT
public:
  explicit TForm13();

  QWidget* ToolBar1;
  QToolButton* ToolButton1;
  QToolButton* ToolButton2;
  QToolButton* ToolButton3;
  QToolButton* ToolButton4;
  QToolButton* ToolButton5;
  QToolButton* ToolButton6;
  QToolButton* ToolButton7;
  QToolButton* ToolButton8;
  QToolButton* ToolButton9;
  QToolButton* ToolButton10;
  QLabel* Image1;

  // Reads NAME from the working directory into Image1, choosing the decoder by
  // its extension; throws and leaves the previous picture when it cannot.
  void LoadPicture(const QString& name);

  // The designed size, so that fitting the window to its contents keeps it.
  QSize sizeHint() const override;

  void ToolButton1Click();
  void ToolButton2Click();
  void ToolButton3Click();
  void ToolButton4Click();
  void ToolButton5Click();
  void ToolButton6Click();
  void ToolButton7Click();
  void ToolButton8Click();
  void ToolButton9Click();
  void ToolButton10Click();

  void ToolButton1MouseMove();
  void ToolButton2MouseMove();
  void ToolButton3MouseMove();
  void ToolButton4MouseMove();
  void ToolButton5MouseMove();
  void ToolButton6MouseMove();
  void ToolButton7MouseMove();
  void ToolButton8MouseMove();
  void ToolButton9MouseMove();
  void ToolButton10MouseMove();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  bool placed_ = false;
};
