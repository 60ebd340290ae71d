#pragma once

#include <QPlainTextEdit>
#include <QWidget>

// The documentation windows: one read-only text each, opened from the menu
// and from the equipment pictures. Created hidden; their close box only hides.
class TDocForm : public QWidget {
  Q_OBJECT
public:
  // Where the window goes the first time it is shown.
  enum class Centre { Screen, Desktop };

  // The text shown, as loaded from the resource.
  QString text() const;

  // The designed size, so that fitting the window to its contents keeps it.
  QSize sizeHint() const override;

protected:
  TDocForm(const QString& caption, int width, int height, const QString& resource,
           Centre centre = Centre::Screen, bool verticalScrollBar = true);
  void showEvent(QShowEvent* event) override;

  QPlainTextEdit* memo_;

private:
  Centre centre_;
  QSize designed_;
  bool placed_ = false;
};

class TForm2 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm2();
  QPlainTextEdit* Memo1;
};

class TForm3 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm3();
  QPlainTextEdit* Memo1;
};

class TForm4 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm4();
  QPlainTextEdit* memo1;
};

class TForm5 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm5();
  QPlainTextEdit* Memo1;
};

class TForm6 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm6();
  QPlainTextEdit* Memo1;
};

class TForm7 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm7();
  QPlainTextEdit* Memo1;
};

class TForm8 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm8();
  QPlainTextEdit* Memo1;
};

class TForm9 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm9();
  QPlainTextEdit* Memo1;
};

class TForm10 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm10();
  QPlainTextEdit* Memo1;
};

class TForm12 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm12();
  QPlainTextEdit* Memo1;
};

// The contact window: small, fixed size, bold text on silver.
class TForm14 : public TDocForm {
  Q_OBJECT
public:
  explicit TForm14();
  QPlainTextEdit* Memo1;
};
